// The data request and the channel check against real loopback balances, F12 mode over
// the key grab, and received text on its way to the window and the focused application.

#include <QFile>
#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "comm/channel_connections.h"
#include "keyhook/keyhook.h"
#include "platform/settings_store.h"
#include "shell/frmMDIMain.h"
#include "shell/module_data.h"
#include "shell/pause.h"
#include "shell/pending_error.h"
#include "support/fake_key_grab.h"
#include "support/recording_desktop.h"
#include "support/scripted_prompts.h"
#include "support/socat_pair.h"

using namespace Channel_Window;
using Communication_HW::IsChannelConnected;

namespace {
const QString Reading = QStringLiteral("N     +    12.345 g\r\n");

// A loopback balance server that keeps every client and what each one sent.
class Balances : public QTcpServer
{
public:
    Balances()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* peer = nextPendingConnection();
            peers.append(peer);
            connect(peer, &QTcpSocket::readyRead, this,
                    [this, peer] { received[peers.indexOf(peer)] += peer->readAll(); });
        });
    }
    QString settings() const { return QStringLiteral("IP 127.0.0.1:%1").arg(serverPort()); }
    QList<QTcpSocket*> peers;
    QByteArray received[2];
};
} // namespace

class tst_Transfer : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<RecordingDesktop> m_desktop;
    std::unique_ptr<FakeKeyGrab> m_grab;
    std::unique_ptr<frmMDIMain> m_main;

    // The program started with channels 1..count ON under one settings string.
    frmMDIMain& start(int count, const QString& settings)
    {
        Globals::ResetModuleData();
        m_main = std::make_unique<frmMDIMain>();
        m_main->MDIForm_Load();
        ChannelsCount = quint8(count);
        for (int n = 1; n <= count; ++n) {
            ChannelState[n] = 1;
            ChannelSettings[n] = settings;
            ChannelCommand[n] = QStringLiteral("PRT");
        }
        return *m_main;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path()));
        m_prompts = std::make_unique<ScriptedPrompts>();
        m_desktop = std::make_unique<RecordingDesktop>();
        m_grab = std::make_unique<FakeKeyGrab>();
    }

    // The doubles uninstall themselves, so they go before the next test's ones come.
    void cleanup()
    {
        m_main.reset();
        m_grab.reset();
        m_desktop.reset();
        m_prompts.reset();
    }

    void start_oneShotOrRepeating_sendsPassesToEveryBalance_data()
    {
        QTest::addColumn<quint8>("repeat");
        QTest::addColumn<bool>("beep");
        QTest::newRow("one-shot: a pass per Start, caption stays") << quint8(0) << false;
        QTest::newRow("repeating: every interval, caption Stop, beeps") << quint8(1) << true;
    }

    void start_oneShotOrRepeating_sendsPassesToEveryBalance()
    {
        QFETCH(quint8, repeat);
        QFETCH(bool, beep);
        Balances balances;
        frmMDIMain& main = start(2, balances.settings());
        Globals::RepeatCommand = repeat;
        Globals::RepeatInterval = 200;
        if (beep)
            main.mnuBeeponRequest->trigger();
        // The next check connects both channels.
        QTRY_VERIFY_WITH_TIMEOUT(IsChannelConnected(1) && IsChannelConnected(2), 10000);
        QTRY_COMPARE(balances.peers.size(), 2);

        main.mnuStart->trigger();
        QCOMPARE(main.mnuStart->text(), repeat ? QStringLiteral("Stop") : QStringLiteral("Start"));
        QCOMPARE(main.SendChannelTimer()->isActive(), repeat == 1);
        if (!repeat)
            main.mnuStart->trigger(); // a second Start sends a second pass
        for (const QByteArray& sent : balances.received)
            QTRY_VERIFY_WITH_TIMEOUT(sent.count("PRT\r\n") >= (repeat ? 3 : 2), 10000);
        main.mnuStart->trigger();
        if (repeat)
            QCOMPARE(main.mnuStart->text(), QStringLiteral("Start"));
        QVERIFY(!main.SendChannelTimer()->isActive());

        // Nothing but whole passes, the same number to both, and one beep per pass.
        const int passes = int(balances.received[0].count("PRT\r\n"));
        QTRY_COMPARE(balances.received[1], balances.received[0]);
        QCOMPARE(balances.received[0], QByteArray("PRT\r\n").repeated(passes));
        QCOMPARE(m_desktop->beeps, beep ? passes : 0);
    }

    void f12MenuClick_grabTakenOrRefused_reportsAndStores_data()
    {
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("taken: mode on") << false << "Start/Stop Transfer with Function Key F12";
        QTest::newRow("refused: mode stays off")
            << true << "Error:\r\nFunction Key F12 could not hooked!";
    }

    void f12MenuClick_grabTakenOrRefused_reportsAndStores()
    {
        QFETCH(bool, refused);
        QFETCH(QString, prompt);
        frmMDIMain& main = start(1, QString());
        m_grab->failNextInstall = refused;
        main.mnuF12toStart_Stop->trigger();
        QCOMPARE(m_prompts->boxes.size(), 1);
        QCOMPARE(m_prompts->boxes[0].prompt, prompt);
        QCOMPARE(m_prompts->boxes[0].style, int(Platform::vbOKOnly));
        QCOMPARE(m_prompts->boxes[0].title, QStringLiteral("Hook Function Key"));
        QCOMPARE(main.mnuF12toStart_Stop->isChecked(), !refused);
        QCOMPARE(SettingsStore::GetSetting("Transfer", "F12toStart/Stop"),
                 refused ? QStringLiteral("False") : QStringLiteral("True"));
        main.mnuF12toStart_Stop->trigger(); // off again, or a second try
        QCOMPARE(m_grab->installed(), refused);
    }

    void startStop_byMenuAndF12_data()
    {
        QTest::addColumn<quint8>("repeat");
        QTest::addColumn<bool>("f12Mode");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("passes");
        QTest::addColumn<QString>("caption");
        QTest::newRow("mode off: F12 does nothing") << quint8(1) << false << "key" << 0 << "Start";
        QTest::newRow("mode off: menu starts") << quint8(1) << false << "menu" << 1 << "Stop";
        QTest::newRow("mode on, idle: menu does nothing")
            << quint8(1) << true << "menu" << 0 << "Start";
        QTest::newRow("mode on: F12 starts") << quint8(1) << true << "key" << 1 << "Stop";
        QTest::newRow("mode on: menu stops") << quint8(1) << true << "key menu" << 1 << "Start";
        QTest::newRow("mode on: F12 stops") << quint8(1) << true << "key key" << 1 << "Start";
        QTest::newRow("one-shot: a pass per F12")
            << quint8(0) << true << "key key key" << 3 << "Start";
        QTest::newRow("F12 up or with Alt: nothing")
            << quint8(1) << true << "up alt" << 0 << "Start";
    }

    void startStop_byMenuAndF12()
    {
        QFETCH(quint8, repeat);
        QFETCH(bool, f12Mode);
        QFETCH(QString, steps);
        QFETCH(int, passes);
        QFETCH(QString, caption);
        frmMDIMain& main = start(1, QString()); // no balance: the beeps count the passes
        main.mnuBeeponRequest->trigger();
        Globals::RepeatCommand = repeat;
        Globals::RepeatInterval = 600000;
        if (f12Mode)
            main.mnuF12toStart_Stop->trigger();
        for (const QString& step : steps.split(u' ')) {
            if (step == QLatin1String("menu"))
                main.mnuStart->trigger();
            else
                QCOMPARE(m_grab->press(step == "key"  ? Keyhook::WM_KEYDOWN
                                       : step == "up" ? Keyhook::WM_KEYUP
                                                      : Keyhook::WM_SYSKEYDOWN,
                                       Keyhook::VK_F12),
                         f12Mode ? 1 : -1);
        }
        QCOMPARE(m_desktop->beeps, passes);
        QCOMPARE(main.mnuStart->text(), caption);
        QCOMPARE(main.SendChannelTimer()->isActive(), caption == QLatin1String("Stop"));
    }

    void checkTick_duringMessageBox_skipped()
    {
        // Channel 1's port cannot open, so its check shows a box; channel 2 has no hardware
        // and only gets its window. A tick inside the box must not run the check again.
        SocatPair::MapComPort(9, m_dir->filePath(QStringLiteral("no-such-port")));
        frmMDIMain& main = start(2, QString());
        main.StopCheckChannels();
        ChannelSettings[1] = QStringLiteral("COM  9, 9600,e,7,1,None");
        bool boundDuringBox = true;
        m_prompts->onNextBox([&main, &boundDuringBox] {
            main.CheckChannelTimer_Timer();
            boundDuringBox = ExistingChannelWindow(2) != nullptr;
        });

        main.CheckChannelTimer_Timer();

        QCOMPARE(m_prompts->boxes.size(), 1);
        QVERIFY(m_prompts->boxes[0].prompt.startsWith("MSComm-Open\r\n\r\nState: Error"));
        QVERIFY(!boundDuringBox);
        QCOMPARE(ExistingChannelWindow(2)->Tag(), QStringLiteral("2"));
        QCOMPARE(main.CheckChannelTimerTag, QStringLiteral("0"));
    }

    void receive_balanceRecord_windowTextAndKeysInOrder_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::newRow("network balance") << false;
        QTest::newRow("serial balance on a pty") << true;
    }

    void receive_balanceRecord_windowTextAndKeysInOrder()
    {
        QFETCH(bool, serial);
        Balances balances;
        SocatPair cable;
        if (serial && !cable.isRunning())
            QSKIP(qPrintable(cable.errorText()));
        SocatPair::MapComPort(5, cable.pathA());
        frmMDIMain& main =
            start(2, serial ? QStringLiteral("COM  5, 9600,n,8,1,None") : balances.settings());
        ChannelsCount = 1;
        main.mnuToCursor->trigger();

        // The first check opens the channel; then the balance answers.
        QTRY_VERIFY_WITH_TIMEOUT(IsChannelConnected(1), 10000);
        QSerialPort far(cable.pathB());
        if (serial) {
            QVERIFY(far.open(QIODevice::ReadWrite));
            far.write(Reading.toLatin1());
        } else {
            QTRY_COMPARE(balances.peers.size(), 1);
            balances.peers[0]->write(Reading.toLatin1());
        }
        QTRY_COMPARE_WITH_TIMEOUT(ExistingChannelWindow(1)->Text(), Reading, 10000);
        QCOMPARE(m_desktop->keys.join(u'|'),
                 QStringLiteral("N| | | | | |+| | | | |1|2|.|3|4|5| |g|{ENTER}"));

        // Channel 2 (bound by hand, no check running) shows the same, types nothing, but
        // moves the shared state; an OFF channel's text goes nowhere.
        main.StopCheckChannels();
        m_desktop->keys.clear();
        ChannelSettings[2] = balances.settings();
        ShowChannelWindow(2);
        Communication_HW::OpenChannel(2);
        QTRY_VERIFY_WITH_TIMEOUT(IsChannelConnected(2), 10000);
        main.ReceiveChannel(2, QStringLiteral("N 1"));
        QCOMPARE(ExistingChannelWindow(2)->Text(), QStringLiteral("N 1"));
        QVERIFY(m_desktop->keys.isEmpty() && !Communication_HW::AtLineStart);
        ChannelState[2] = 0;
        main.ReceiveChannel(2, QStringLiteral("\r\n"));
        QVERIFY(!Communication_HW::AtLineStart);
        QCOMPARE(ExistingChannelWindow(2)->Text(), QStringLiteral("N 1"));
        QVERIFY(m_prompts->boxes.isEmpty());
    }

    void pause_runsPendingEvents_returnsNotBeforeItsTime_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::newRow("no time: still one pass of events") << 0.0;
        QTest::newRow("a twentieth of a second") << 0.05;
    }

    void pause_runsPendingEvents_returnsNotBeforeItsTime()
    {
        QFETCH(double, seconds);
        bool ran = false;
        QTimer::singleShot(0, this, [&ran] { ran = true; });
        QElapsedTimer clock;
        clock.start();
        Globals::Pause(seconds);
        QVERIFY(ran);
        QVERIFY(clock.elapsed() >= qint64(seconds * 1000));
    }

    void receive_linkNotHealthy_reportsAndDrops()
    {
        frmMDIMain& main = start(1, QString());
        main.StopCheckChannels();
        ChannelId[1] = QStringLiteral("Lab");
        Globals::Err.Raise(5, QStringLiteral("left over"));

        main.ReceiveChannel(1, Reading);

        QCOMPARE(m_prompts->boxes.size(), 1);
        QCOMPARE(m_prompts->boxes[0].prompt,
                 QStringLiteral("Communication HW not defined -Receive data\r\n\r\nState: Error"
                                "\r\n\r\nError: left over"));
        QCOMPARE(m_prompts->boxes[0].style, Platform::vbOKOnly + Platform::vbExclamation);
        QCOMPARE(m_prompts->boxes[0].title, QStringLiteral("State: Lab (CH-1, )"));
        QCOMPARE(Globals::Err.Number, 0);
        QVERIFY(!ExistingChannelWindow(1) && m_desktop->keys.isEmpty());
    }
};

QTEST_MAIN(tst_Transfer)
#include "tst_transfer.moc"
