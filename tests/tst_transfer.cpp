// Data requests and channel checks against loopback balances, F12 over the key grab, and
// received text on its way to the window and the focused application.

#include <QtTest>

#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "comm/channel_connections.h"
#include "keyhook/keyhook.h"
#include "shell/pending_error.h"
#include "support/loopback_balance.h"
#include "support/program_doubles.h"
#include "support/socat_pair.h"

using namespace Channel_Window;
using Communication_HW::IsChannelConnected;

class tst_Transfer : public ProgramTestCase
{
    Q_OBJECT

private slots:
    void start_everyBalanceAsked_answerShownWhereItBelongs()
    {
        LoopbackBalance balances; // both channels on one serial server, each with its own link
        frmMDIMain& main = m_fake->start(2, balances.settings());
        main.mnuToCursor->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(IsChannelConnected(1) && IsChannelConnected(2), 10000);
        main.mnuStart->trigger(); // one pass asks every balance once
        QTRY_COMPARE(balances.received, "PRT\r\nPRT\r\n");
        for (QTcpSocket* link : balances.links)
            link->write("N 1");
        for (int n : {1, 2})
            QTRY_COMPARE(ExistingChannelWindow(n)->Text(), "N 1");
        QCOMPARE(m_fake->desktop.keys, QStringList({"N", " ", "1"}));
        // Channel 2's line end ends channel 1's line too: the forwarding state is shared.
        main.ReceiveChannel(2, QStringLiteral("\r\n"));
        QVERIFY(Communication_HW::AtLineStart && m_fake->desktop.keys.size() == 3);
        ChannelState[2] = 0; // an OFF channel's text goes nowhere
        main.ReceiveChannel(2, QStringLiteral("N"));
        QVERIFY(Communication_HW::AtLineStart);
        QCOMPARE(ExistingChannelWindow(2)->Text(), "N 1\r\n");
        QVERIFY(m_fake->prompts.boxes.isEmpty());
        // Text on a channel without a usable link is reported with the pending error, and dropped.
        ChannelState[2] = 1;
        ChannelSettings[2].clear();
        Globals::Err.Raise(5, QStringLiteral("left over"));
        main.ReceiveChannel(2, QStringLiteral("N"));
        m_fake->expectOnlyBox("Communication HW not defined -Receive data\r\n\r\nState: Error"
                              "\r\n\r\nError: left over",
                              Platform::vbOKOnly + Platform::vbExclamation, "State:  (CH-2, )");
        QCOMPARE(Globals::Err.Number, 0);
        QCOMPARE(ExistingChannelWindow(2)->Text(), "N 1\r\n");
    }

    void startStop_byMenuAndF12_data()
    {
        QTest::addColumn<quint8>("repeat");
        QTest::addColumn<QString>("steps"); // f12/refused: clicks on the F12 mode; key: F12
        QTest::addColumn<int>("passes");
        QTest::addColumn<QString>("caption");
        const auto row = [](const char* name, quint8 repeat, const char* steps, int passes,
                            const char* caption) {
            QTest::newRow(name) << repeat << QString(steps) << passes << QString(caption);
        };
        row("mode off: menu starts", 1, "menu", 1, "Stop");
        row("mode on, idle: menu does nothing", 1, "f12 menu", 0, "Start");
        row("mode on: menu stops", 1, "f12 key menu", 1, "Start");
        row("one-shot: a pass per F12", 0, "f12 key key key", 3, "Start");
        row("mode clicked off: grab gone, F12 does nothing", 1, "f12 f12 key", 0, "Start");
        row("grab refused: mode off until a second click takes it", 1, "refused key f12 key", 1,
            "Stop");
    }
    void startStop_byMenuAndF12()
    {
        QFETCH(QString, steps);
        QFETCH(QString, caption);
        frmMDIMain& main = m_fake->start(1, QString()); // no balance: beeps count passes
        QFETCH(quint8, repeat);
        Globals::RepeatCommand = repeat;
        Globals::RepeatInterval = 600000;
        main.mnuBeeponRequest->trigger();
        bool on = false;
        for (const QString& step : steps.split(u' ')) {
            if (step == QLatin1String("menu")) {
                main.mnuStart->trigger();
            } else if (step == QLatin1String("key")) {
                QCOMPARE(m_fake->grab.press(Keyhook::WM_KEYDOWN, Keyhook::VK_F12), on ? 1 : -1);
            } else { // a click on the F12 mode: switching on says how it went
                const bool wasOn = std::exchange(on, !on && step == QLatin1String("f12"));
                m_fake->grab.failNextInstall = !wasOn && !on;
                m_fake->prompts.boxes.clear();
                main.mnuF12toStart_Stop->trigger();
                if (wasOn)
                    QVERIFY(m_fake->prompts.boxes.isEmpty());
                else
                    m_fake->expectOnlyBox(on ? "Start/Stop Transfer with Function Key F12"
                                             : "Error:\r\nFunction Key F12 could not hooked!",
                                          Platform::vbOKOnly, "Hook Function Key");
                QCOMPARE(main.mnuF12toStart_Stop->isChecked(), on);
            }
        }
        QCOMPARE(m_fake->grab.installed(), on);
        QTEST(m_fake->desktop.beeps, "passes");
        QCOMPARE(main.mnuStart->text(), caption);
        QCOMPARE(main.SendChannelTimer()->isActive(), caption == QLatin1String("Stop"));
    }

    void checkTick_duringMessageBox_skipped()
    {
        // Channel 1's port cannot open, so its check shows a box; channel 2 has no hardware.
        SocatPair::MapComPort(9, m_dir->filePath(QStringLiteral("no-such-port")));
        frmMDIMain& main = m_fake->start(2, QString());
        main.StopCheckChannels();
        ChannelSettings[1] = QStringLiteral("COM  9, 9600,e,7,1,None");
        bool boundDuringBox = true;
        m_fake->prompts.onNextBox([&main, &boundDuringBox] {
            main.CheckChannelTimer_Timer();
            boundDuringBox = ExistingChannelWindow(2) != nullptr;
        });
        main.CheckChannelTimer_Timer();
        QCOMPARE(m_fake->prompts.boxes.size(), 1);
        QVERIFY(!boundDuringBox);
        QCOMPARE(ExistingChannelWindow(2)->Tag(), "2");
        QCOMPARE(main.CheckChannelTimerTag, "0");
    }
};

QTEST_MAIN(tst_Transfer)
#include "tst_transfer.moc"
