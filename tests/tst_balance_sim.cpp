// The balance simulator as a separate process: what it answers on TCP and on a pty, how it
// misbehaves when asked to, and that it leaves nothing behind when stopped.

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int ReadyTimeoutMs = 10000;
// How long the tests listen for bytes that must not come.
constexpr int SilenceMs = 300;

const QRegularExpression
    ReadingLine(QStringLiteral("^N {5}[+-] {0,9}\\d+\\.\\d{3} (g|kg|mg)\r\n$"));

// The simulator with its stdout collected as it arrives.
class Simulator
{
public:
    explicit Simulator(const QStringList& arguments)
    {
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput,
                         [this] { m_out += m_process.readAllStandardOutput(); });
        m_process.start(QStringLiteral(QUORVANE_BIN_DIR "/balance-sim"), arguments);
    }
    ~Simulator()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }

    QProcess& process() { return m_process; }
    bool isReady() const { return m_out.contains("ready\n"); }
    QList<QByteArray> lines() const { return m_out.split('\n'); }

    // The n-th endpoint of a kind ("tcp" or "pty"), as printed.
    QString endpoint(const QByteArray& kind, int n = 0) const
    {
        for (const QByteArray& line : lines()) {
            if (line.startsWith(kind + ' ') && n-- == 0)
                return QString::fromLatin1(line.mid(kind.size() + 1));
        }
        return {};
    }
    quint16 tcpPort(int n = 0) const { return endpoint("tcp", n).section(u':', 1).toUShort(); }

private:
    QProcess m_process;
    QByteArray m_out;
};

// A TCP client that keeps everything it receives and counts its reads.
class Client
{
public:
    explicit Client(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
            received += socket.readAll();
            ++reads;
        });
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    }
    qsizetype lineCount() const { return received.count('\n'); }

    QTcpSocket socket;
    QByteArray received;
    int reads = 0;
};

} // namespace

class tst_BalanceSim : public QObject
{
    Q_OBJECT

private slots:
    void tcpRequest_givesReadings_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<QByteArray>("firstLine");
        const QByteArray base = "N     +    12.345 g\r\n";
        QTest::newRow("PRT ended by CR LF: one reading")
            << QStringList() << QByteArray("PRT\r\n") << 1 << base;
        QTest::newRow("PRT ended by CR alone: one reading")
            << QStringList() << QByteArray("PRT\r") << 1 << base;
        QTest::newRow("PRT ended by LF alone: one reading")
            << QStringList() << QByteArray("PRT\n") << 1 << base;
        QTest::newRow("unknown command: ignored, PRT after it answered")
            << QStringList() << QByteArray("TARE\r\nprt\r\nPRT\r\n") << 1 << base;
        QTest::newRow("OFF: PRT ignored until ON")
            << QStringList() << QByteArray("OFF\r\nPRT\r\nON\r\nPRT\r\n") << 1 << base;
        QTest::newRow("burst 3: three readings for one PRT")
            << QStringList{"--burst", "3"} << QByteArray("PRT\r\n") << 3 << base;
        QTest::newRow("unit kg: weight and kg in fixed columns")
            << QStringList{"--unit", "kg", "--weight", "1.25"} << QByteArray("PRT\r\n") << 1
            << QByteArray("N     +     1.250 kg\r\n");
        QTest::newRow("negative weight: minus sign")
            << QStringList{"--weight", "-0.5"} << QByteArray("PRT\r\n") << 1
            << QByteArray("N     -     0.500 g\r\n");
    }
    void tcpRequest_givesReadings()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, sent);
        QFETCH(int, lineCount);
        QFETCH(QByteArray, firstLine);

        Simulator sim(QStringList{"--tcp", "0"} + arguments);
        QTRY_VERIFY_WITH_TIMEOUT(sim.isReady(), ReadyTimeoutMs);
        Client client(sim.tcpPort());
        QVERIFY(client.socket.waitForConnected());
        client.socket.write(sent);
        QTRY_COMPARE(client.lineCount(), lineCount);
        QSignalSpy more(&client.socket, &QTcpSocket::readyRead);
        QVERIFY(!more.wait(SilenceMs));

        const QList<QByteArray> lines = client.received.split('\n');
        QCOMPARE(lines.constFirst() + '\n', firstLine);
        for (qsizetype i = 0; i < lineCount; ++i)
            QVERIFY2(ReadingLine.match(QString::fromLatin1(lines[i] + '\n')).hasMatch(), lines[i]);
    }

    void tcpMisbehaviour_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("byteCount");
        QTest::addColumn<QString>("expected");
        QTest::newRow("garbage 1: reading replaced by bytes with a NUL")
            << QStringList{"--garbage", "1"} << QByteArray("PRT\r\n") << 21 << "nul";
        QTest::newRow("no-eol: readings run together without CR or LF")
            << QStringList{"--no-eol"} << QByteArray("PRT\r\nPRT\r\n") << 38 << "no line end";
        QTest::newRow("split: one reading arrives in several pieces")
            << QStringList{"--split"} << QByteArray("PRT\r\n") << 21 << "pieces";
        QTest::newRow("stall: second request answered after the pause")
            << QStringList{"--stall", "200"} << QByteArray("PRT\r\nPRT\r\n") << 42 << "two lines";
    }
    void tcpMisbehaviour()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, sent);
        QFETCH(int, byteCount);
        QFETCH(QString, expected);

        Simulator sim(QStringList{"--tcp", "0"} + arguments);
        QTRY_VERIFY_WITH_TIMEOUT(sim.isReady(), ReadyTimeoutMs);
        Client client(sim.tcpPort());
        QVERIFY(client.socket.waitForConnected());
        client.socket.write(sent);
        QTRY_COMPARE(client.received.size(), qsizetype(byteCount));

        if (expected == "nul")
            QVERIFY(client.received.contains('\0'));
        else if (expected == "no line end")
            QVERIFY(!client.received.contains('\r') && !client.received.contains('\n'));
        else if (expected == "pieces")
            QVERIFY2(client.reads > 1, QByteArray::number(client.reads));
        else
            QCOMPARE(client.lineCount(), 2);
    }

    void tcpDropAfter_closesAndKeepsListening()
    {
        Simulator sim({"--tcp", "0", "--drop-after", "2"});
        QTRY_VERIFY_WITH_TIMEOUT(sim.isReady(), ReadyTimeoutMs);
        Client first(sim.tcpPort());
        QVERIFY(first.socket.waitForConnected());
        QSignalSpy closed(&first.socket, &QTcpSocket::disconnected);
        first.socket.write("PRT\r\nPRT\r\nPRT\r\n");
        QVERIFY(closed.wait());
        QCOMPARE(first.lineCount(), 2);

        Client again(sim.tcpPort());
        QVERIFY(again.socket.waitForConnected());
        again.socket.write("PRT\r\n");
        QTRY_COMPARE(again.lineCount(), 1);
    }

    void tcpTwoClients_eachGetsOwnAnswers()
    {
        Simulator sim({"--tcp", "0"});
        QTRY_VERIFY_WITH_TIMEOUT(sim.isReady(), ReadyTimeoutMs);
        Client a(sim.tcpPort());
        Client b(sim.tcpPort());
        QVERIFY(a.socket.waitForConnected() && b.socket.waitForConnected());

        a.socket.write("PRT\r\n");
        QTRY_COMPARE(a.lineCount(), 1);
        b.socket.write("PRT\r\nPRT\r\n");
        QTRY_COMPARE(b.lineCount(), 2);
        // One client leaving does not disturb the other.
        a.socket.abort();
        b.socket.write("PRT\r\n");
        QTRY_COMPARE(b.lineCount(), 3);
        QCOMPARE(a.received.count('\n'), 1);
    }

    void ptyLink_answersAndIsRemovedOnStop()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("COM1");
        Simulator sim({"--pty-link", link});
        QTRY_VERIFY_WITH_TIMEOUT(sim.isReady(), ReadyTimeoutMs);
        QCOMPARE(QFile::symLinkTarget(link), sim.endpoint("pty"));

        QSerialPort port(link);
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        port.write("PRT\r\n");
        QByteArray received;
        QTRY_VERIFY((received += port.readAll()).endsWith('\n'));
        QVERIFY2(ReadingLine.match(QString::fromLatin1(received)).hasMatch(), received);
        port.close();

        sim.process().terminate();
        QVERIFY(sim.process().waitForFinished());
        QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.process().exitCode(), 0);
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    }

    void ptyDropAfter_hangsUpAndLinkMovesToNewPty()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("COM2");
        Simulator sim({"--pty-link", link, "--drop-after", "1"});
        QTRY_VERIFY_WITH_TIMEOUT(sim.isReady(), ReadyTimeoutMs);
        const QString firstPath = sim.endpoint("pty");

        QSerialPort port(link);
        QByteArray received;
        // Read as it arrives: a port that sees the hang-up drops what it still buffers.
        connect(&port, &QSerialPort::readyRead, this, [&] { received += port.readAll(); });
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        port.write("PRT\r\n");
        QTRY_VERIFY(received.endsWith('\n'));
        QCOMPARE(received.count('\n'), 1);

        // The last reading was read before the hang-up; then a new pair takes the link.
        QTRY_VERIFY(!sim.endpoint("pty", 1).isEmpty());
        const QString secondPath = sim.endpoint("pty", 1);
        QVERIFY(secondPath != firstPath);
        QTRY_COMPARE(QFile::symLinkTarget(link), secondPath);
        port.close();

        QSerialPort again(link);
        QByteArray answer;
        connect(&again, &QSerialPort::readyRead, this, [&] { answer += again.readAll(); });
        QVERIFY2(again.open(QIODevice::ReadWrite), qPrintable(again.errorString()));
        again.write("PRT\r\n");
        QTRY_VERIFY(answer.endsWith('\n'));
        QVERIFY2(ReadingLine.match(QString::fromLatin1(answer)).hasMatch(), answer);
    }

    void badOptions_exitWithUsageError_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("unknown unit") << QStringList{"--unit", "lb"};
        QTest::newRow("port out of range") << QStringList{"--tcp", "70000"};
        QTest::newRow("burst of zero") << QStringList{"--burst", "0"};
        QTest::newRow("rate not a number") << QStringList{"--rate", "fast"};
        QTest::newRow("stray argument") << QStringList{"tcp"};
    }
    void badOptions_exitWithUsageError()
    {
        QFETCH(QStringList, arguments);
        Simulator sim(arguments);
        QVERIFY(sim.process().waitForFinished());
        QCOMPARE(sim.process().exitCode(), 2);
        QVERIFY(!sim.isReady());
    }
};

QTEST_GUILESS_MAIN(tst_BalanceSim)
#include "tst_balance_sim.moc"
