// The whole road of one reading on a real X desktop: F12 pressed while another
// application has the focus starts the data request, the balance on a loopback TCP port
// answers, and the reading is typed into that application, which never sees F12.

#include <QAction>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
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

const QByteArray Reading = QByteArrayLiteral("N     +    12.345 g\r\n");

// A balance behind a network serial server: answers every "PRT" line with a reading.
class Balance : public QObject
{
public:
    Balance()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++connections;
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_received += socket->readAll();
                    qsizetype end;
                    while ((end = m_received.indexOf("\r\n")) >= 0) {
                        if (m_received.left(end) == "PRT") {
                            ++requests;
                            socket->write(Reading);
                        }
                        m_received.remove(0, end + 2);
                    }
                });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }

    int connections = 0;
    int requests = 0;

private:
    QTcpServer m_server;
    QByteArray m_received;
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

bool pressF12()
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("F12")});
    return xdotool.waitForFinished(20000) && xdotool.exitCode() == 0;
}

void store(const QString& section, const QString& key, const QString& value)
{
    SettingsStore::SaveSetting(section, key, value);
}

QString boolean(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

class TestF12EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void f12InAnotherApplicationTypesTheReadingThere_data();
    void f12InAnotherApplicationTypesTheReadingThere();
    void secondF12StopsTheRepeatedRequest();

private:
    // Stores channel 1 on the balance with the given options, starts the main window and
    // waits for the channel to connect; then switches F12 mode on.
    void startProgram(bool repeat, const QStringList& options);

    std::unique_ptr<XvfbServer> m_xvfb;
    std::unique_ptr<XTestWindow> m_window;
    std::unique_ptr<Balance> m_balance;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<ClockedDesktop> m_desktop;
    std::unique_ptr<frmMDIMain> m_main;
};

void TestF12EndToEnd::initTestCase()
{
    m_xvfb = std::make_unique<XvfbServer>();
    QVERIFY2(m_xvfb->isRunning(), qPrintable(m_xvfb->errorText()));
    qputenv("DISPLAY", m_xvfb->display());
    m_window = std::make_unique<XTestWindow>();
    QVERIFY(m_window->isReady());
}

void TestF12EndToEnd::init()
{
    Globals::ResetModuleData();
    m_balance = std::make_unique<Balance>();
    m_prompts = std::make_unique<ScriptedPrompts>();
    m_desktop = std::make_unique<ClockedDesktop>();
}

void TestF12EndToEnd::cleanup()
{
    if (m_main) {
        Keyhook::RemoveKeyHook();
        m_main.reset();
    }
    m_desktop.reset();
    m_prompts.reset();
    m_balance.reset();
}

void TestF12EndToEnd::cleanupTestCase()
{
    m_window.reset();
    m_xvfb.reset();
}

void TestF12EndToEnd::startProgram(bool repeat, const QStringList& options)
{
    store("Channels", "CannelsCount", "1");
    store("Channels", "Ch-1_State", "1");
    store("Channels", "Ch-1_Settings", QStringLiteral("IP 127.0.0.1:%1").arg(m_balance->port()));
    store("DataRequest", "Ch-1_Command", "PRT");
    store("DataRequest", "RepeatCommand", repeat ? "1" : "0");
    store("DataRequest", "RepeatInterval", "200");
    store("Format", "WeightOnly", boolean(options.contains("WeightOnly")));
    store("Format", "DecimalPoint", "True");
    store("Format", "DateTime", boolean(options.contains("DateTime")));
    store("Format", "TABs", boolean(options.contains("TABs")));
    store("Forward", "ToCursor", "True");
    store("Forward", "Back-Left", boolean(options.contains("Back-Left")));

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

void TestF12EndToEnd::f12InAnotherApplicationTypesTheReadingThere_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lastPresses");

    QTest::newRow("reading as it comes")
        << QStringList{} << "N     +    12.345 g\r" << QStringList{"g", "Return"};
    QTest::newRow("TABs between fields")
        << QStringList{"TABs"} << "N\t+    12.345\tg\r" << QStringList{"Tab", "g", "Return"};
    QTest::newRow("TABs and back to where the record began")
        << QStringList{"TABs", "Back-Left"} << "N\t+    12.345\tg\r"
        << QStringList{"g", "Return", "Left", "Left"};
    QTest::newRow("weight only") << QStringList{"WeightOnly"} << "+12.345\r"
                                 << QStringList{"5", "Return"};
    QTest::newRow("date and time stamp, back-left over it")
        << QStringList{"DateTime", "Back-Left"} << "12:04:2026 09:41:03\tN     +    12.345 g\r"
        << QStringList{"g", "Return", "Left"};
}

void TestF12EndToEnd::f12InAnotherApplicationTypesTheReadingThere()
{
    QFETCH(QStringList, options);
    QFETCH(QString, text);
    QFETCH(QStringList, lastPresses);
    startProgram(false, options);
    if (QTest::currentTestFailed())
        return;

    QVERIFY(pressF12());

    QTRY_COMPARE(m_balance->requests, 1);
    QTRY_COMPARE_WITH_TIMEOUT(m_window->text(), text, 10000);
    QTRY_COMPARE(m_window->presses().mid(m_window->presses().size() - lastPresses.size()),
                 lastPresses);
    QVERIFY(!m_window->presses().contains(QStringLiteral("F12")));
    // A one-shot request: nothing repeats.
    QCOMPARE(m_main->mnuStart->text(), QStringLiteral("Start"));
}

void TestF12EndToEnd::secondF12StopsTheRepeatedRequest()
{
    startProgram(true, {});
    if (QTest::currentTestFailed())
        return;

    QVERIFY(pressF12());
    QTRY_VERIFY_WITH_TIMEOUT(m_balance->requests >= 3, 10000);
    QCOMPARE(m_main->mnuStart->text(), QStringLiteral("Stop"));

    QVERIFY(pressF12());
    QTRY_COMPARE(m_main->mnuStart->text(), QStringLiteral("Start"));
    QVERIFY(!m_main->SendChannelTimer()->isActive());
    // Every reading that came back was typed, and F12 never was.
    const int requests = m_balance->requests;
    QTRY_COMPARE_WITH_TIMEOUT(m_window->text(), QString("N     +    12.345 g\r").repeated(requests),
                              10000);
    QVERIFY(!m_window->presses().contains(QStringLiteral("F12")));
}

QTEST_MAIN(TestF12EndToEnd)
#include "tst_f12_end_to_end.moc"
