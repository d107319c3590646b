// Data requests and channel checks against loopback balances, F12 over the key grab, and
// received text on its way to the window and the focused application.

#include <QtTest>

#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "comm/channel_connections.h"
#include "keyhook/keyhook.h"
#include "platform/settings_store.h"
#include "shell/frmMDIMain.h"
#include "shell/module_data.h"
#include "shell/pending_error.h"
#include "support/loopback_balances.h"
#include "support/program_doubles.h"
#include "support/socat_pair.h"

using namespace Channel_Window;
using Communication_HW::IsChannelConnected;

namespace {
const QString Reading = QStringLiteral("N     +    12.345 g\r\n");
} // namespace

class tst_Transfer : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::optional<ProgramDoubles> m_fake;

    // The program started with channels 1..count ON under one settings string.
    frmMDIMain& start(int count, const QString& settings, quint8 repeat = 0, int interval = 0)
    {
        m_fake->start();
        ChannelsCount = quint8(count);
        for (int n = 1; n <= count; ++n) {
            ChannelState[n] = 1;
            ChannelSettings[n] = settings;
            ChannelCommand[n] = QStringLiteral("PRT");
        }
        Globals::RepeatCommand = repeat;
        Globals::RepeatInterval = interval;
        return *m_fake->main;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path()));
        m_fake.emplace();
    }
    void cleanup() { m_fake.reset(); }

    void start_repeating_sendsWholePassesToEveryBalanceUntilStopped()
    {
        LoopbackBalances balances;
        frmMDIMain& main = start(2, balances.settings(), 1, 200);
        main.mnuBeeponRequest->trigger();
        // The next check connects both channels.
        QTRY_VERIFY_WITH_TIMEOUT(IsChannelConnected(1) && IsChannelConnected(2), 10000);
        QTRY_COMPARE(balances.peers.size(), 2);
        main.mnuStart->trigger();
        QCOMPARE(main.mnuStart->text(), QStringLiteral("Stop"));
        for (const QByteArray& sent : balances.received)
            QTRY_VERIFY_WITH_TIMEOUT(sent.count("PRT\r\n") >= 3, 10000);
        main.mnuStart->trigger();
        QCOMPARE(main.mnuStart->text(), QStringLiteral("Start"));
        QVERIFY(!main.SendChannelTimer()->isActive());

        // Nothing but whole passes, the same number to both, and one beep per pass.
        const int passes = int(balances.received[0].count("PRT\r\n"));
        QTRY_COMPARE(balances.received[1], balances.received[0]);
        QCOMPARE(balances.received[0], QByteArray("PRT\r\n").repeated(passes));
        QCOMPARE(m_fake->desktop.beeps, passes);
    }

    void startStop_byMenuAndF12_data()
    {
        QTest::addColumn<quint8>("repeat");
        QTest::addColumn<QString>("steps"); // on/refused: first F12 mode click; f12: later ones
        QTest::addColumn<int>("passes");
        QTest::addColumn<QString>("caption");
        const auto row = [](const char* name, quint8 repeat, const char* steps, int passes,
                            const char* caption) {
            QTest::newRow(name) << repeat << QString(steps) << passes << QString(caption);
        };
        row("mode off: F12 does nothing", 1, "key", 0, "Start");
        row("mode off: menu starts", 1, "menu", 1, "Stop");
        row("mode on, idle: menu does nothing", 1, "on menu", 0, "Start");
        row("mode on: F12 starts", 1, "on key", 1, "Stop");
        row("mode on: menu stops", 1, "on key menu", 1, "Start");
        row("mode on: F12 stops", 1, "on key key", 1, "Start");
        row("one-shot: a pass per F12", 0, "on key key key", 3, "Start");
        row("F12 up or with Alt: nothing", 1, "on up alt", 0, "Start");
        row("mode clicked off: grab gone, F12 does nothing", 1, "on f12 key", 0, "Start");
        row("grab refused: mode off until a second click takes it", 1, "refused key f12 key", 1,
            "Stop");
    }
    void startStop_byMenuAndF12()
    {
        QFETCH(quint8, repeat);
        QFETCH(QString, steps);
        QFETCH(int, passes);
        QFETCH(QString, caption);
        frmMDIMain& main = start(1, QString(), repeat, 600000); // no balance: beeps count passes
        main.mnuBeeponRequest->trigger();
        const QHash<QString, int> message{{"key", Keyhook::WM_KEYDOWN},
                                          {"up", Keyhook::WM_KEYUP},
                                          {"alt", Keyhook::WM_SYSKEYDOWN}};
        bool on = false;
        for (const QString& step : steps.split(u' ')) {
            if (step == QLatin1String("menu")) {
                main.mnuStart->trigger();
            } else if (step == QLatin1String("f12")) {
                main.mnuF12toStart_Stop->trigger();
                on = !on;
            } else if (message.contains(step)) {
                QCOMPARE(m_fake->grab.press(message[step], Keyhook::VK_F12), on ? 1 : -1);
            } else { // the first click, with its box and stored mark
                on = step == QLatin1String("on");
                m_fake->grab.failNextInstall = !on;
                main.mnuF12toStart_Stop->trigger();
                m_fake->expectOnlyBox(on ? "Start/Stop Transfer with Function Key F12"
                                         : "Error:\r\nFunction Key F12 could not hooked!",
                                      Platform::vbOKOnly, QStringLiteral("Hook Function Key"));
                QCOMPARE(main.mnuF12toStart_Stop->isChecked(), on);
                QCOMPARE(SettingsStore::GetSetting("Transfer", "F12toStart/Stop"),
                         on ? QStringLiteral("True") : QStringLiteral("False"));
            }
        }
        QCOMPARE(m_fake->grab.installed(), on);
        QCOMPARE(m_fake->desktop.beeps, passes);
        QCOMPARE(main.mnuStart->text(), caption);
        QCOMPARE(main.SendChannelTimer()->isActive(), caption == QLatin1String("Stop"));
    }

    void checkTick_duringMessageBox_skipped()
    {
        // Channel 1's port cannot open, so its check shows a box; channel 2 has no hardware.
        SocatPair::MapComPort(9, m_dir->filePath(QStringLiteral("no-such-port")));
        frmMDIMain& main = start(2, QString());
        main.StopCheckChannels();
        ChannelSettings[1] = QStringLiteral("COM  9, 9600,e,7,1,None");
        bool boundDuringBox = true;
        m_fake->prompts.onNextBox([&main, &boundDuringBox] {
            main.CheckChannelTimer_Timer();
            boundDuringBox = ExistingChannelWindow(2) != nullptr;
        });
        main.CheckChannelTimer_Timer();
        QCOMPARE(m_fake->prompts.boxes.size(), 1);
        QVERIFY(m_fake->prompts.boxes[0].prompt.startsWith("MSComm-Open\r\n\r\nState: Error"));
        QVERIFY(!boundDuringBox);
        QCOMPARE(ExistingChannelWindow(2)->Tag(), QStringLiteral("2"));
        QCOMPARE(main.CheckChannelTimerTag, QStringLiteral("0"));
    }

    void receive_balanceRecord_channel1TypesOthersOnlyShowOffDrops()
    {
        LoopbackBalances balances;
        frmMDIMain& main = start(2, balances.settings());
        ChannelsCount = 1;
        main.mnuToCursor->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(IsChannelConnected(1), 10000);
        QTRY_COMPARE(balances.peers.size(), 1);
        balances.peers[0]->write(Reading.toLatin1());
        QTRY_COMPARE_WITH_TIMEOUT(ExistingChannelWindow(1)->Text(), Reading, 10000);
        QCOMPARE(m_fake->desktop.keys.join(u'|'),
                 QStringLiteral("N| | | | | |+| | | | |1|2|.|3|4|5| |g|{ENTER}"));

        // Channel 2 shows its text, types nothing, yet moves the shared state.
        m_fake->desktop.keys.clear();
        ChannelsCount = 2;
        QTRY_VERIFY_WITH_TIMEOUT(IsChannelConnected(2), 10000);
        main.ReceiveChannel(2, QStringLiteral("N 1"));
        QCOMPARE(ExistingChannelWindow(2)->Text(), QStringLiteral("N 1"));
        QVERIFY(m_fake->desktop.keys.isEmpty() && !Communication_HW::AtLineStart);
        ChannelState[2] = 0; // an OFF channel's text goes nowhere
        main.ReceiveChannel(2, QStringLiteral("\r\n"));
        QVERIFY(!Communication_HW::AtLineStart);
        QCOMPARE(ExistingChannelWindow(2)->Text(), QStringLiteral("N 1"));
        QVERIFY(m_fake->prompts.boxes.isEmpty());
    }

    void receive_linkNotHealthy_reportsAndDrops()
    {
        frmMDIMain& main = start(1, QString());
        main.StopCheckChannels();
        ChannelId[1] = QStringLiteral("Lab");
        Globals::Err.Raise(5, QStringLiteral("left over"));
        main.ReceiveChannel(1, Reading);
        m_fake->expectOnlyBox(
            QStringLiteral("Communication HW not defined -Receive data\r\n\r\nState: Error"
                           "\r\n\r\nError: left over"),
            Platform::vbOKOnly + Platform::vbExclamation, QStringLiteral("State: Lab (CH-1, )"));
        QCOMPARE(Globals::Err.Number, 0);
        QVERIFY(!ExistingChannelWindow(1) && m_fake->desktop.keys.isEmpty());
    }
};

QTEST_MAIN(tst_Transfer)
#include "tst_transfer.moc"
