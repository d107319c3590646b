// The serial port element on socat pty pairs: settings texts, line settings as the driver
// sees them, what a refused open says, every byte value both ways, a port that vanishes.

#include <QFile>
#include <QSerialPort>
#include <QTemporaryFile>
#include <QTest>
#include <cerrno>
#include <grp.h>
#include <memory>
#include <numeric>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "comm/serial_port_element.h"
#include "shell/pending_error.h"
#include "support/socat_pair.h"

namespace {

// A tty's line settings as its driver holds them; a pty always runs 8 bits without parity.
QString lineSettingsOf(int fd)
{
    termios t{};
    tcgetattr(fd, &t);
    const QMap<speed_t, int> bauds{{B300, 300}, {B9600, 9600}, {B19200, 19200}};
    return QString("%1 baud, %2 stop%3%4")
        .arg(bauds.value(cfgetospeed(&t), -1))
        .arg(t.c_cflag & CSTOPB ? 2 : 1)
        .arg(t.c_cflag & CRTSCTS ? ", rts/cts" : "")
        .arg((t.c_iflag & IXON) && (t.c_iflag & IXOFF) ? ", xon/xoff" : "");
}

} // namespace

class tst_SerialPortElement : public QObject
{
    Q_OBJECT

    std::unique_ptr<SocatPair> m_pair; // COM 3

private slots:
    void init()
    {
        Globals::Err.Clear();
        m_pair = std::make_unique<SocatPair>();
        QVERIFY2(m_pair->isRunning(), qPrintable(m_pair->errorText()));
        SocatPair::MapComPort(3, m_pair->pathA());
    }

    void settingsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("readBack"); // empty: refused, the old text stays
        QTest::newRow("leading blank dropped") << " 9600,e,7,1" << QString("9600,e,7,1");
        QTest::newRow("M, 5, 1.5: lower-cased") << "57600,M,5,1.5" << QString("57600,m,5,1.5");
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
        QTest::newRow("Xon/Xoff, 2 stop") << "19200,n,8,2" << 1 << "19200 baud, 2 stop, xon/xoff";
        QTest::newRow("both: RTS/CTS") << "  300,n,8,1" << 3 << "300 baud, 1 stop, rts/cts";
        QTest::newRow("7 even: at reopen") << " 9600,e,7,2" << 0 << "9600 baud, 2 stop";
    }
    void lineSettings_reachTheDriver()
    {
        QFETCH(QString, settings);
        QFETCH(int, handshake);
        QFETCH(QString, seen);
        QFile tty(m_pair->pathA()); // opened first: the element's open locks others out
        QVERIFY(tty.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
        SerialPortElement port(0);
        QVERIFY(port.SetCommPort(3));
        QVERIFY2(port.SetPortOpen(true), qPrintable(Globals::Err.Description));

        // The open line takes new values at once, or refuses them and keeps the old ones.
        const bool taken = port.SetSettings(settings);
        QVERIFY(port.SetHandshaking(handshake));
        QCOMPARE(lineSettingsOf(tty.handle()), taken ? seen : QString("9600 baud, 1 stop"));
        if (!taken) {
            QCOMPARE(Globals::Err.Number, SerialPortElement::errCommState);
            QCOMPARE(port.Settings(), QString("9600,n,8,1"));
            QVERIFY(port.SetPortOpen(false) && port.SetSettings(settings));
        }
        QVERIFY(port.SetPortOpen(false) && port.SetPortOpen(true));
        QCOMPARE(lineSettingsOf(tty.handle()), seen);
    }

    void openErrorDescription_data()
    {
        QTest::addColumn<int>("systemError");
        QTest::addColumn<QString>("description");
        QTest::newRow("held by another program") << EBUSY << "Device busy (/dev/ttyUSB0)";
    }
    void openErrorDescription()
    {
        QFETCH(int, systemError);
        QFETCH(QString, description);
        QCOMPARE(
            SerialPortElement::OpenErrorDescription("/dev/ttyUSB0", systemError, "Device busy"),
            description);
    }

    // A device of a group the user is not in, and one its group may not use either.
    void permissionAdvice_data()
    {
        QTest::addColumn<QByteArray>("groupName");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("advice");
        QTest::newRow("group dialout")
            << QByteArray("dialout") << 0660
            << ", which belongs to the group dialout. Run this command, "
               "then log out and in again:\r\n\r\nsudo usermod -aG dialout $USER";
        QTest::newRow("group root") << QByteArray("root") << 0600
                                    << ": its group root may not open it either; the administrator "
                                       "can give it to a group such as dialout";
    }
    void permissionAdvice()
    {
        QFETCH(QByteArray, groupName);
        QFETCH(int, mode);
        QFETCH(QString, advice);
        const group* entry = getgrnam(groupName.constData());
        QTemporaryFile device;
        QVERIFY(device.open());
        const QByteArray path = QFile::encodeName(device.fileName());
        if (!entry || ::chown(path.constData(), uid_t(-1), entry->gr_gid) != 0 ||
            (getegid() == entry->gr_gid && groupName != "root"))
            QSKIP("needs root and the group, without being in it");
        QVERIFY(::chmod(path.constData(), mode_t(mode)) == 0);
        QCOMPARE(SerialPortElement::OpenErrorDescription(device.fileName(), EACCES, "Permission"),
                 "Permission denied on " + device.fileName() + advice);
    }

    void everyByteBothWays_vanishedPortReopens()
    {
        SerialPortElement port(2);
        QVERIFY(port.SetCommPort(3) && port.SetRThreshold(1));
        QVERIFY2(port.SetPortOpen(true), qPrintable(Globals::Err.Description));
        auto far = std::make_unique<QSerialPort>(m_pair->pathB());
        QVERIFY(far->open(QIODevice::ReadWrite));
        QString received;
        QList<int> notified;
        connect(&port, &SerialPortElement::OnComm, this, [&](int index) {
            notified.append(index * 10 + port.CommEvent());
            received += port.Input();
        });
        QByteArray bytes(256, '\0');
        std::iota(bytes.begin(), bytes.end(), '\0');
        far->write(bytes);
        QTRY_COMPARE(received.toLatin1(), bytes);
        QVERIFY(!notified.isEmpty() && notified.count(22) == notified.size()); // 2, "received"
        QByteArray echoed;
        QVERIFY(port.SetOutput(QString::fromLatin1(bytes)));
        QTRY_COMPARE(echoed += far->readAll(), bytes);

        m_pair->kill();
        QTRY_VERIFY(!port.PortOpen());
        QVERIFY(!port.SetOutput("PRT\r\n") && Globals::Err.Number != 0);
        QVERIFY2(m_pair->restart(), qPrintable(m_pair->errorText()));
        QVERIFY2(port.SetPortOpen(true), qPrintable(Globals::Err.Description));
        far = std::make_unique<QSerialPort>(m_pair->pathB());
        QVERIFY(far->open(QIODevice::ReadWrite));
        far->write("+ 12.345 g\r\n");
        QTRY_COMPARE(received, QString::fromLatin1(bytes) + "+ 12.345 g\r\n");
    }
};

QTEST_GUILESS_MAIN(tst_SerialPortElement)
#include "tst_serial_port_element.moc"
