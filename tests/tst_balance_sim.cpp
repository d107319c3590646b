// The balance simulator as a separate process: what it answers on TCP and on a pty, how it
// misbehaves when asked to, and that it leaves nothing behind when stopped.

#include <QSerialPort>
#include <QTcpSocket>
#include <QtTest>

#include "support/child_process.h"

namespace {

// One or more whole reading lines, nothing else.
const QRegularExpression
    Readings(QStringLiteral("^(N {5}[+-] {0,9}\\d+\\.\\d{3} (g|kg|mg)\r\n)+\\z"));
bool areReadings(const QByteArray& bytes)
{
    return Readings.match(QString::fromLatin1(bytes)).hasMatch();
}

// The simulator with its stdout collected as it arrives.
struct Simulator
{
    explicit Simulator(const QStringList& arguments)
    {
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { out += process.readAllStandardOutput(); });
        process.start(QStringLiteral(QUORVANE_BIN_DIR "/balance-sim"), arguments);
    }
    ~Simulator() { StopChildProcess(process); }
    bool waitReady()
    {
        return QTest::qWaitFor([this] { return out.contains("ready\n"); }, 10000);
    }
    // The n-th endpoint of a kind ("tcp" or "pty"), as printed.
    QString endpoint(const QByteArray& kind, int n = 0) const
    {
        for (const QByteArray& line : out.split('\n'))
            if (line.startsWith(kind + ' ') && n-- == 0)
                return QString::fromLatin1(line.mid(kind.size() + 1));
        return {};
    }
    quint16 tcpPort() const { return endpoint("tcp").section(u':', 1).toUShort(); }

    QProcess process;
    QByteArray out;
};

// A client (TCP socket or serial port) that keeps everything it receives and counts reads.
template <class Device> struct Client
{
    template <class... Open> explicit Client(Open&&... open) : device(open...)
    {
        QObject::connect(&device, &QIODevice::readyRead, [this] {
            received += device.readAll();
            ++reads;
        });
    }
    qsizetype lines() const { return received.count('\n'); }

    Device device;
    QByteArray received;
    int reads = 0;
};
using TcpClient = Client<QTcpSocket>;

bool connectTo(TcpClient& client, const Simulator& sim)
{
    client.device.connectToHost(QStringLiteral("127.0.0.1"), sim.tcpPort());
    return client.device.waitForConnected();
}

} // namespace

class tst_BalanceSim : public QObject
{
    Q_OBJECT

private slots:
    void tcpRequest_givesAnswer_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("byteCount"); // all that comes before a silence
        QTest::addColumn<QByteArray>("first");
        const auto row = [](const char* name, const QStringList& arguments, const QByteArray& sent,
                            int bytes, const QByteArray& first = "N     +    12.345 g\r\n") {
            QTest::newRow(name) << arguments << sent << bytes << first;
        };
        row("PRT ended by CR LF, by CR alone, by LF alone", {}, "PRT\r\nPRT\rPRT\n", 63);
        row("unknown command ignored; OFF ignores PRT until ON", {},
            "TARE\r\nprt\r\nOFF\r\nPRT\r\nON\r\nPRT\r\n", 21);
        row("burst 3: three readings for one PRT", {"--burst", "3"}, "PRT\r\n", 63);
        row("unit kg, negative: sign, weight and kg in fixed columns",
            {"--unit", "kg", "--weight", "-1.25"}, "PRT\r\n", 22, "N     -     1.250 kg\r\n");
        row("garbage 1: reading replaced by bytes with a NUL", {"--garbage", "1"}, "PRT\r\n", 21,
            "");
        row("no-eol: readings run together", {"--no-eol"}, "PRT\r\nPRT\r\n", 38,
            "N     +    12.345 gN");
        row("split: one reading arrives in several pieces", {"--split"}, "PRT\r\n", 21);
        row("stall: second request answered after the pause", {"--stall", "200"}, "PRT\r\nPRT\r\n",
            42);
    }
    void tcpRequest_givesAnswer()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, sent);
        QFETCH(int, byteCount);
        QFETCH(QByteArray, first);
        Simulator sim(QStringList{"--tcp", "0"} + arguments);
        QVERIFY(sim.waitReady());
        TcpClient client;
        QVERIFY(connectTo(client, sim));
        client.device.write(sent);
        QTRY_COMPARE(client.received.size(), qsizetype(byteCount));
        QVERIFY(!QSignalSpy(&client.device, &QTcpSocket::readyRead).wait(300)); // nothing more
        const QByteArray& got = client.received;
        const QString mode = arguments.value(0);
        QVERIFY2(got.startsWith(first) &&
                     (mode == "--no-eol" || mode == "--garbage" || areReadings(got)),
                 got);
        QCOMPARE(got.contains('\0'), mode == "--garbage");
        QVERIFY(mode != "--split" || client.reads > 1);
    }
    void tcpClients_dropAfterClosesAndOthersAreServedOnTheirOwn()
    {
        Simulator sim({"--tcp", "0", "--drop-after", "2"});
        QVERIFY(sim.waitReady());
        TcpClient first, second;
        QVERIFY(connectTo(first, sim) && connectTo(second, sim));
        QSignalSpy closed(&first.device, &QTcpSocket::disconnected);
        first.device.write("PRT\r\nPRT\r\nPRT\r\n");
        QVERIFY(closed.wait());
        QCOMPARE(first.lines(), 2);
        // The other connection counts its own requests, and new ones are still accepted.
        second.device.write("PRT\r\n");
        QTRY_COMPARE(second.lines(), 1);
        TcpClient again;
        QVERIFY(connectTo(again, sim));
        again.device.write("PRT\r\n");
        QTRY_COMPARE(again.lines(), 1);
    }
    void pty_answersHangsUpMovesTheLinkAndRemovesItOnStop()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("COM1");
        Simulator sim({"--pty-link", link, "--drop-after", "1"});
        QVERIFY(sim.waitReady());

        // Read as it arrives: a port that sees the hang-up drops what it still buffers.
        std::unique_ptr<Client<QSerialPort>> port;
        for (const int pty : {0, 1}) {
            // After the hang-up a new pair takes the link.
            QTRY_VERIFY(!sim.endpoint("pty", pty).isEmpty());
            QTRY_COMPARE(QFile::symLinkTarget(link), sim.endpoint("pty", pty));
            port = std::make_unique<Client<QSerialPort>>(link);
            QVERIFY2(port->device.open(QIODevice::ReadWrite),
                     qPrintable(port->device.errorString()));
            port->device.write("PRT\r\n");
            QTRY_VERIFY(port->received.endsWith('\n'));
            QVERIFY2(areReadings(port->received) && port->lines() == 1, port->received);
        }
        QVERIFY(sim.endpoint("pty", 1) != sim.endpoint("pty", 0));
        port.reset();
        sim.process.terminate();
        QVERIFY(sim.process.waitForFinished());
        QVERIFY(sim.process.exitStatus() == QProcess::NormalExit && sim.process.exitCode() == 0);
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    }
    void badOptions_exitWithUsageError_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("unknown unit") << QStringList{"--unit", "lb"};
        QTest::newRow("port out of range") << QStringList{"--tcp", "70000"};
        QTest::newRow("rate not a number") << QStringList{"--rate", "fast"};
        QTest::newRow("stray argument") << QStringList{"tcp"};
    }
    void badOptions_exitWithUsageError()
    {
        QFETCH(QStringList, arguments);
        Simulator sim(arguments);
        QVERIFY(sim.process.waitForFinished());
        QCOMPARE(sim.process.exitCode(), 2);
        QVERIFY(!sim.out.contains("ready\n"));
    }
};

QTEST_GUILESS_MAIN(tst_BalanceSim)
#include "tst_balance_sim.moc"
