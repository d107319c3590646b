// The serial port element on real pseudo terminals: settings texts, line settings as the
// driver sees them, every byte value both ways, and ports that are missing or vanish.

#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

#include "comm/serial_port_element.h"
#include "shell/pending_error.h"
#include "support/socat_pair.h"

namespace {

QByteArray allByteValues()
{
    QByteArray bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[i] = char(i);
    return bytes;
}

#ifdef Q_OS_LINUX
// The test's own end of a pseudo terminal, whose line settings are those the element set
// on the other end. A pseudo terminal always runs 8 bits without parity, so speed, stop
// bits and flow control are what can be seen.
struct PtyMaster
{
    int fd = posix_openpt(O_RDWR | O_NOCTTY);
    PtyMaster() { QVERIFY(fd >= 0 && grantpt(fd) == 0 && unlockpt(fd) == 0); }
    ~PtyMaster() { ::close(fd); }
    QString lineSettings() const
    {
        termios t{};
        tcgetattr(fd, &t);
        const speed_t speed = cfgetospeed(&t);
        return QString("%1 baud, %2 stop, rts/cts %3, xon/xoff %4")
            .arg(speed == B300     ? 300
                 : speed == B9600  ? 9600
                 : speed == B19200 ? 19200
                                   : -1)
            .arg(t.c_cflag & CSTOPB ? 2 : 1)
            .arg(bool(t.c_cflag & CRTSCTS))
            .arg(bool(t.c_iflag & IXON) && bool(t.c_iflag & IXOFF));
    }
};
#endif

} // namespace

class tst_SerialPortElement : public QObject
{
    Q_OBJECT

private slots:
    void init() { Globals::Err.Clear(); }

    void settingsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("readBack"); // empty: refused, the old text stays
        QTest::newRow("leading blank: accepted, reads back without it") << " 9600,e,7,1"
                                                                        << "9600,e,7,1";
        QTest::newRow("upper-case parity: accepted") << "300,N,8,2"
                                                     << "300,n,8,2";
        QTest::newRow("mark parity, 5 bits, 1.5 stop: accepted") << "57600,M,5,1.5"
                                                                 << "57600,m,5,1.5";
        QTest::newRow("unknown parity: refused") << "9600,x,7,1" << QString();
        QTest::newRow("nine data bits: refused") << "9600,e,9,1" << QString();
        QTest::newRow("field missing: refused") << "9600,e,7" << QString();
    }
    void settingsText()
    {
        QFETCH(QString, text);
        QFETCH(QString, readBack);
        SerialPortElement port(0);
        QVERIFY(port.SetSettings("1200,o,7,2"));

        QCOMPARE(port.SetSettings(text), !readBack.isEmpty());
        QCOMPARE(port.Settings(), readBack.isEmpty() ? QString("1200,o,7,2") : readBack);
        QCOMPARE(Globals::Err.Number, readBack.isEmpty() ? 380 : 0);
    }

    void lineSettings_reachTheDriver_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("handshake");
        QTest::addColumn<QString>("seen");
        QTest::newRow("19200, 2 stop bits, Xon/Xoff")
            << "19200,n,8,2" << 1 << "19200 baud, 2 stop, rts/cts 0, xon/xoff 1";
        QTest::newRow("300, both handshakes: run as RTS/CTS")
            << "  300,n,8,1" << 3 << "300 baud, 1 stop, rts/cts 1, xon/xoff 0";
        QTest::newRow("7 bits, even: refused by the open line, taken at the next open")
            << " 9600,e,7,2" << 0 << "9600 baud, 2 stop, rts/cts 0, xon/xoff 0";
    }
    void lineSettings_reachTheDriver()
    {
#ifndef Q_OS_LINUX
        QSKIP("needs POSIX pseudo terminals");
#else
        QFETCH(QString, settings);
        QFETCH(int, handshake);
        QFETCH(QString, seen);
        PtyMaster far;
        SocatPair::MapComPort(9, QString::fromLocal8Bit(ptsname(far.fd)));
        SerialPortElement port(0);
        QVERIFY(port.SetCommPort(9));
        QVERIFY2(port.SetPortOpen(true), qPrintable(Globals::Err.Description));

        // The open line takes new values at once, or refuses them and keeps the old ones.
        const bool taken = port.SetSettings(settings);
        QVERIFY(port.SetHandshaking(handshake));
        if (taken) {
            QCOMPARE(far.lineSettings(), seen);
        } else {
            QCOMPARE(Globals::Err.Number, SerialPortElement::errCommState);
            QCOMPARE(port.Settings(), QString("9600,n,8,1"));
            QVERIFY(port.SetPortOpen(false) && port.SetSettings(settings));
        }
        QVERIFY(port.SetPortOpen(false) && port.SetPortOpen(true));
        QCOMPARE(far.lineSettings(), seen);
#endif
    }

    void everyByteValue_passesUnchanged()
    {
        SocatPair pair;
        QVERIFY2(pair.isRunning(), qPrintable(pair.errorText()));
        SocatPair::MapComPort(3, pair.pathA());
        SerialPortElement port(2);
        QVERIFY(port.SetCommPort(3) && port.SetRThreshold(1));
        QVERIFY2(port.SetPortOpen(true), qPrintable(Globals::Err.Description));
        QSerialPort far(pair.pathB());
        QVERIFY(far.open(QIODevice::ReadWrite));
        QString received;
        QList<int> notified;
        connect(&port, &SerialPortElement::OnComm, this, [&](int index) {
            notified.append(index * 10 + port.CommEvent());
            received += port.Input();
        });

        const QByteArray bytes = allByteValues();
        far.write(bytes);
        QTRY_COMPARE(received.toLatin1(), bytes);
        QVERIFY(!notified.isEmpty() &&
                notified.count(22) == notified.size()); // index 2, "received"

        QByteArray echoed;
        QVERIFY(port.SetOutput(QString::fromLatin1(bytes)));
        QTRY_COMPARE(echoed += far.readAll(), bytes);
    }

    void missingDevice_givesPortsOwnErrorAndStaysClosed()
    {
        QTemporaryDir dir;
        SocatPair::MapComPort(7, dir.filePath("gone"));
        SerialPortElement port(0);
        QVERIFY(port.SetCommPort(7));

        QVERIFY(!port.SetPortOpen(true));
        QVERIFY(!port.PortOpen());
        QCOMPARE(Globals::Err.Number, SerialPortElement::errInvalidPort);
        QSerialPort same(dir.filePath("gone"));
        QVERIFY(!same.open(QIODevice::ReadWrite));
        QCOMPARE(Globals::Err.Description, same.errorString());
    }

    void vanishedDevice_readsClosed_thenReopens()
    {
        SocatPair pair;
        QVERIFY2(pair.isRunning(), qPrintable(pair.errorText()));
        SocatPair::MapComPort(4, pair.pathA());
        SerialPortElement port(0);
        QVERIFY(port.SetCommPort(4) && port.SetRThreshold(1));
        QVERIFY(port.SetPortOpen(true));

        pair.kill();
        QTRY_VERIFY(!port.PortOpen());
        QVERIFY(!port.SetOutput("PRT\r\n"));
        QCOMPARE(Globals::Err.Number, SerialPortElement::errPortNotOpen);

        QVERIFY2(pair.restart(), qPrintable(pair.errorText()));
        QVERIFY2(port.SetPortOpen(true), qPrintable(Globals::Err.Description));
        QSerialPort far(pair.pathB());
        QVERIFY(far.open(QIODevice::ReadWrite));
        far.write("+ 12.345 g\r\n");
        QString received;
        QTRY_COMPARE(received += port.Input(), QString("+ 12.345 g\r\n"));
    }
};

QTEST_GUILESS_MAIN(tst_SerialPortElement)
#include "tst_serial_port_element.moc"
