// Starting and stopping the data request by menu and by F12 over the key grab, and the
// channel check while a message box is open.

#include <QtTest>

#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "keyhook/keyhook.h"
#include "support/program_doubles.h"
#include "support/socat_pair.h"

using namespace Channel_Window;

class tst_Transfer : public ProgramTestCase
{
    Q_OBJECT

private slots:
    void startStop_byMenuAndF12_data()
    {
        // "once": no repeat; f12 or refused: a click on the F12 mode; key: F12 pressed.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("passes");
        QTest::addColumn<QString>("caption");
        const auto row = [](const char* n, auto... v) { (QTest::newRow(n) << ... << QString(v)); };
        row("mode off: menu starts", "menu", "1", "Stop");
        row("mode on, idle: menu does nothing", "f12 menu", "0", "Start");
        row("mode on: menu stops", "f12 key menu", "1", "Start");
        row("one-shot: a pass per F12", "once f12 key key key", "3", "Start");
        row("mode clicked off: grab gone, F12 does nothing", "f12 f12 key", "0", "Start");
        row("grab refused: mode off until a second click takes it", "refused key f12 key", "1",
            "Stop");
    }
    void startStop_byMenuAndF12()
    {
        QFETCH(QString, steps);
        QFETCH(QString, caption);
        frmMDIMain& main = m_fake->start(1, QString()); // no balance: beeps count passes
        Globals::RepeatCommand = !steps.startsWith("once");
        Globals::RepeatInterval = 600000;
        main.mnuBeeponRequest->trigger();
        bool on = false;
        for (const QString& step : steps.remove("once ").split(u' ')) {
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
        QTEST(QString::number(m_fake->desktop.beeps), "passes");
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
