// The whole road of one reading on a real X desktop: F12 held for 150 ms, as a person
// presses it, while another application has the focus starts the data request, the
// balance on a loopback TCP port answers (during the hold, or after it), and the reading
// is typed into that application, which never sees F12.

#include <QAction>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <array>
#include <memory>

#include "comm/channel_connections.h"
#include "keyhook/keyhook.h"
#include "platform/desktop.h"
#include "platform/native_backends.h"
#include "platform/settings_store.h"
#include "shell/frmMDIMain.h"
#include "shell/module_data.h"
#include "support/scripted_prompts.h"
#include "support/x_test_window.h"
#include "support/xvfb_server.h"

namespace {

// A balance behind a network serial server: answers every "PRT" line with a reading, at
// once, a few characters at a time (as a serial line delivers it) or after a while.
struct Balance
{
    QByteArray reading = QByteArrayLiteral("N     +    12.345 g\r\n");
    int delayMs = 0;
    int pieceSize = 100;

    void send(QTcpSocket* socket, int from)
    {
        socket->write(reading.mid(from, pieceSize));
        if (from + pieceSize < reading.size())
            QTimer::singleShot(5, socket, [=, this] { send(socket, from + pieceSize); });
    }
    Balance()
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                ++connections;
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    while (socket->canReadLine()) {
                        if (socket->readLine() == "PRT\r\n") {
                            ++requests;
                            QTimer::singleShot(delayMs, socket, [=, this] { send(socket, 0); });
                        }
                    }
                });
            }
        });
    }
    QTcpServer server;
    int connections = 0;
    int requests = 0;
};

// Types for real, on a clock the test sets for the date stamps.
class ClockedDesktop : public Platform::Desktop
{
public:
    ClockedDesktop() { Platform::SetDesktop(this); }
    ~ClockedDesktop() override { Platform::SetDesktop(nullptr); }
    void SendKeys(const QString& keyText) override { Platform::NativeDesktop().SendKeys(keyText); }
    void Beep() override {}
    QDateTime Now() override { return QDateTime(QDate(2026, 12, 4), QTime(9, 41, 3)); }
};

// The user's keyboard; returns at once, the keys go on being pressed meanwhile.
void keyboard(QProcess& xdotool, const QString& arguments)
{
    xdotool.waitForFinished(20000);
    xdotool.start(QStringLiteral("xdotool"), arguments.split(u' '));
}

} // namespace

class TestF12EndToEnd : public QObject
{
    Q_OBJECT
    std::unique_ptr<XvfbServer> m_xvfb;
    std::unique_ptr<XTestWindow> m_window;
    std::unique_ptr<Balance> m_balance;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<ClockedDesktop> m_desktop;
    // Each row's program leaves its unsaved text in a journal of its own.
    std::unique_ptr<QTemporaryDir> m_state;
    std::unique_ptr<frmMDIMain> m_main;
    QProcess m_keyboard;

    bool pressF12()
    {
        keyboard(m_keyboard, QStringLiteral("keydown F12 sleep 0.15 keyup F12"));
        return m_keyboard.waitForStarted(20000);
    }

    // Stores channel 1 on the balance with the given options, starts the main window and
    // waits for the channel to connect; then switches F12 mode on.
    void startProgram(bool repeat, const QStringList& options)
    {
        const auto flag = [&](const char* option) {
            return options.contains(option) ? QStringLiteral("True") : QStringLiteral("False");
        };
        const QList<std::array<QString, 3>> settings{
            {"Channels", "CannelsCount", "1"},
            {"Channels", "Ch-1_State", "1"},
            {"Channels", "Ch-1_Settings",
             QStringLiteral("IP 127.0.0.1:%1").arg(m_balance->server.serverPort())},
            {"DataRequest", "Ch-1_Command", "PRT"},
            {"DataRequest", "RepeatCommand", repeat ? "1" : "0"},
            {"DataRequest", "RepeatInterval", "200"},
            {"Format", "WeightOnly", flag("WeightOnly")},
            {"Format", "DecimalPoint", "True"},
            {"Format", "DateTime", flag("DateTime")},
            {"Format", "TABs", flag("TABs")},
            {"Forward", "ToCursor", "True"},
            {"Forward", "Back-Left", flag("Back-Left")}};
        for (const auto& [section, key, value] : settings)
            SettingsStore::SaveSetting(section, key, value);
        m_main = std::make_unique<frmMDIMain>();
        m_main->MDIForm_Load();
        QTRY_VERIFY_WITH_TIMEOUT(Communication_HW::IsChannelConnected(1), 10000);
        QCOMPARE(m_balance->connections, 1);
        m_main->mnuF12toStart_Stop_Click();
        QVERIFY(m_main->mnuF12toStart_Stop->isChecked());
        QCOMPARE(m_prompts->boxes.size(), 1);
        QCOMPARE(m_prompts->boxes[0].prompt,
                 QStringLiteral("Start/Stop Transfer with Function Key F12"));
        m_window->takeFocus();
        m_window->clear();
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
        m_state = std::make_unique<QTemporaryDir>();
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_state->path()));
        Globals::ResetModuleData();
        m_balance = std::make_unique<Balance>();
        m_prompts = std::make_unique<ScriptedPrompts>();
        m_desktop = std::make_unique<ClockedDesktop>();
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
        QTest::addColumn<bool>("repeat");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lastPresses");
        const QString reading = "N     +    12.345 g\r";
        QTest::newRow("answer during the hold")
            << false << QStringList{} << reading << QStringList{"g", "Return"};
        QTest::newRow("answer a few characters at a time during the hold")
            << false << QStringList{"Pieces"} << reading << QStringList{"g", "Return"};
        QTest::newRow("answer after the release")
            << false << QStringList{"Late"} << reading << QStringList{"g", "Return"};
        QTest::newRow("TAB from the balance is the Tab key")
            << false << QStringList{"BalanceTab"} << "N\t+    12.345 g\r"
            << QStringList{"g", "Return"};
        QTest::newRow("Caps Lock on, Shift held by the user")
            << false << QStringList{"CapsShift"} << reading << QStringList{"Return", "Shift_L"};
        QTest::newRow("TABs and back to where the record began")
            << false << QStringList{"TABs", "Back-Left"} << "N\t+    12.345\tg\r"
            << QStringList{"g", "Return", "Left", "Left"};
        QTest::newRow("date and time stamp, back-left over it")
            << false << QStringList{"DateTime", "Back-Left"} << "12:04:2026 09:41:03\t" + reading
            << QStringList{"g", "Return", "Left"};
        QTest::newRow("repeated request: second F12 stops it, every reading typed")
            << true << QStringList{} << reading << QStringList{"g", "Return"};
    }
    void f12InAnotherApplicationTypesTheReadingThere()
    {
        QFETCH(bool, repeat);
        QFETCH(QStringList, options);
        QFETCH(QString, text);
        QFETCH(QStringList, lastPresses);
        m_balance->pieceSize = options.contains("Pieces") ? 3 : 100;
        m_balance->delayMs = options.contains("Late") ? 400 : 0;
        if (options.contains("BalanceTab"))
            m_balance->reading = "N\t+    12.345 g\r\n";
        startProgram(repeat, options);
        if (QTest::currentTestFailed())
            return;
        if (options.contains("CapsShift"))
            keyboard(m_keyboard, QStringLiteral("key Caps_Lock keydown shift"));
        QVERIFY(pressF12());
        if (repeat) {
            QTRY_VERIFY_WITH_TIMEOUT(m_balance->requests >= 3, 10000);
            QCOMPARE(m_main->mnuStart->text(), QStringLiteral("Stop"));
            QVERIFY(pressF12());
            QTRY_COMPARE(m_main->mnuStart->text(), QStringLiteral("Start"));
            QVERIFY(!m_main->SendChannelTimer()->isActive());
            text = text.repeated(m_balance->requests);
        } else {
            QTRY_COMPARE(m_balance->requests, 1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_window->text(), text, 10000);
        QTRY_COMPARE(m_window->presses().mid(m_window->presses().size() - lastPresses.size()),
                     lastPresses);
        if (options.contains("CapsShift"))
            keyboard(m_keyboard, QStringLiteral("keyup shift key Caps_Lock"));
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
