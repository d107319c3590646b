// The whole road of one reading on a real X desktop: F12 held for 150 ms, as a person
// presses it, while another application has the focus starts the data request, the
// balance on a loopback TCP port answers a few characters at a time (during the hold, or
// after it), and the reading is typed into that application, which never sees F12.

#include <QAction>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>

#include "comm/channel_connections.h"
#include "keyhook/keyhook.h"
#include "platform/native_backends.h"
#include "shell/frmMDIMain.h"
#include "shell/module_data.h"
#include "support/recording_desktop.h"
#include "support/scripted_prompts.h"
#include "support/x_test_window.h"
#include "support/xvfb_server.h"

namespace {

const QByteArray Reading = QByteArrayLiteral("N     +    12.345 g\r\n");

// A balance behind a network serial server: answers every "PRT" line after delayMs with a
// reading, three characters at a time as a serial line delivers it.
struct Balance : QTcpServer
{
    int delayMs = 0;
    int requests = 0;

    Balance()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    while (socket->canReadLine()) {
                        if (socket->readLine() == "PRT\r\n") {
                            ++requests;
                            QTimer::singleShot(delayMs, socket, [socket] { send(socket, 0); });
                        }
                    }
                });
            }
        });
    }
    static void send(QTcpSocket* socket, int from)
    {
        socket->write(Reading.mid(from, 3));
        if (from + 3 < Reading.size())
            QTimer::singleShot(5, socket, [=] { send(socket, from + 3); });
    }
};

// Types for real, on the fixed clock of the recording desktop for the date stamps.
struct TypingDesktop : RecordingDesktop
{
    void SendKeys(const QString& keyText) override { Platform::NativeDesktop().SendKeys(keyText); }
};

} // namespace

class TestF12EndToEnd : public QObject
{
    Q_OBJECT
    std::unique_ptr<XvfbServer> m_xvfb;
    std::unique_ptr<XTestWindow> m_window;
    // Each row's program keeps its settings and unsaved text in a folder of its own.
    std::optional<QTemporaryDir> m_dir;
    std::optional<Balance> m_balance;
    std::optional<ScriptedPrompts> m_prompts;
    std::optional<TypingDesktop> m_desktop;
    std::unique_ptr<frmMDIMain> m_main;
    QProcess m_keyboard;

    // The user's keyboard; returns at once, while the key is still held.
    bool pressF12()
    {
        m_keyboard.waitForFinished(20000);
        m_keyboard.start(QStringLiteral("xdotool"),
                         {"keydown", "F12", "sleep", "0.15", "keyup", "F12"});
        return m_keyboard.waitForStarted(20000);
    }

private slots:
    void initTestCase()
    {
        m_xvfb = std::make_unique<XvfbServer>();
        QVERIFY2(m_xvfb->isRunning(), qPrintable(m_xvfb->errorText()));
        qputenv("DISPLAY", m_xvfb->display());
        m_window = std::make_unique<XTestWindow>();
        QVERIFY(m_window->isReady());
    }
    void init()
    {
        m_dir.emplace();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path()));
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_dir->path()));
        Globals::ResetModuleData();
        m_balance.emplace();
        m_prompts.emplace();
        m_desktop.emplace();
    }
    void cleanup()
    {
        m_keyboard.waitForFinished(20000);
        if (m_main) {
            Keyhook::RemoveKeyHook();
            m_main.reset();
        }
        m_desktop.reset();
        m_prompts.reset();
        m_balance.reset();
    }

    // One F12 requests once; with repeating on, a second F12 stops the repeated request.
    void f12InAnotherApplicationTypesTheReadingThere_data()
    {
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<QStringList>("clicks"); // menu items switched on besides ToCursor
        QTest::addColumn<bool>("repeat");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("lefts"); // Left presses after the last Return
        const QString reading = "N     +    12.345 g\r";
        QTest::newRow("answer during the hold") << 0 << QStringList{} << false << reading << 0;
        QTest::newRow("answer after the release") << 400 << QStringList{} << false << reading << 0;
        QTest::newRow("date stamp, TABs, back to where the record began")
            << 0 << QStringList{"mnuDateTime", "mnuTABs", "mnuback_left"} << false
            << "12:04:2026 09:41:03\tN\t+    12.345\tg\r" << 3;
        QTest::newRow("repeated request: second F12 stops it, every reading typed")
            << 0 << QStringList{} << true << reading << 0;
    }
    void f12InAnotherApplicationTypesTheReadingThere()
    {
        QFETCH(int, delayMs);
        QFETCH(QStringList, clicks);
        QFETCH(bool, repeat);
        QFETCH(QString, text);
        QFETCH(int, lefts);
        m_balance->delayMs = delayMs;
        m_main = std::make_unique<frmMDIMain>();
        m_main->MDIForm_Load();
        Channel_Window::ChannelsCount = 1;
        Channel_Window::ChannelState[1] = 1;
        Channel_Window::ChannelSettings[1] =
            QStringLiteral("IP 127.0.0.1:%1").arg(m_balance->serverPort());
        Globals::RepeatCommand = repeat;
        Globals::RepeatInterval = 200;
        for (const QString& item : clicks + QStringList{"mnuToCursor", "mnuF12toStart_Stop"})
            m_main->findChild<QAction*>(item)->trigger();
        QVERIFY(m_main->mnuF12toStart_Stop->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(Communication_HW::IsChannelConnected(1), 10000);
        m_window->takeFocus();
        m_window->clear();
        QVERIFY(pressF12());
        if (repeat) {
            QTRY_VERIFY_WITH_TIMEOUT(m_balance->requests >= 3, 10000);
            QCOMPARE(m_main->mnuStart->text(), QStringLiteral("Stop"));
            QVERIFY(pressF12());
            QTRY_COMPARE(m_main->mnuStart->text(), QStringLiteral("Start"));
            text = text.repeated(m_balance->requests);
        } else {
            QTRY_COMPARE(m_balance->requests, 1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_window->text(), text, 10000);
        QTRY_COMPARE(m_window->presses().sliced(m_window->presses().size() - lefts - 1),
                     QStringList{"Return"} + QStringList(lefts, "Left"));
        QTRY_COMPARE_WITH_TIMEOUT(m_keyboard.state(), QProcess::NotRunning, 20000);
        QCOMPARE(m_keyboard.exitCode(), 0);
        for (const XTestWindow::KeyEvent& event : m_window->events())
            QVERIFY(event.keysym != QStringLiteral("F12")); // neither press nor release
        QCOMPARE(m_window->text(), text);
        QCOMPARE(m_main->mnuStart->text(), QStringLiteral("Start")); // nothing repeats now
    }
};

QTEST_MAIN(TestF12EndToEnd)
#include "tst_f12_end_to_end.moc"
