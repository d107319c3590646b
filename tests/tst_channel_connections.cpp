// Channel connections over real links: serial channels on socat pty pairs, network
// channels to servers on 127.0.0.1, and the one error box, answered by a script.

#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#ifdef Q_OS_LINUX
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "comm/channel_connections.h"
#include "shell/module_data.h"
#include "shell/pending_error.h"
#include "support/scripted_prompts.h"
#include "support/socat_pair.h"

using namespace Communication_HW;
using Channel_Window::ChannelSettings;
using Channel_Window::ChannelState;

namespace {

quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

QString ipTo(quint16 port)
{
    return QStringLiteral("IP 127.0.0.1:%1").arg(port);
}

#ifdef Q_OS_LINUX
// Keeps the raw connections it accepts and asks the kernel when their data came in.
// Reading several connections through the event loop gives them in the order the loop
// polls them, which says nothing about the order in which the data was sent.
class StampingServer : public QTcpServer
{
public:
    ~StampingServer() override
    {
        for (int fd : m_fds)
            ::close(fd);
    }
    bool accepted() const { return !m_fds.isEmpty(); }
    bool hasData() const
    {
        pollfd p{m_fds.first(), POLLIN, 0};
        return ::poll(&p, 1, 0) == 1;
    }
    // Kernel arrival time of the waiting data in nanoseconds, -1 when there is none.
    qint64 arrival() const
    {
        char data[64];
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        iovec iov{data, sizeof data};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        if (::recvmsg(m_fds.first(), &msg, MSG_DONTWAIT) <= 0)
            return -1;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec ts;
                memcpy(&ts, CMSG_DATA(c), sizeof ts);
                return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
            }
        }
        return -1;
    }

protected:
    void incomingConnection(qintptr fd) override
    {
        const int on = 1;
        ::setsockopt(int(fd), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        m_fds.append(int(fd));
    }

private:
    QList<int> m_fds;
};
#endif

} // namespace

class tst_ChannelConnections : public QObject
{
    Q_OBJECT

    std::unique_ptr<SerialArray> m_mscomm;
    std::unique_ptr<SocketArray> m_winsocket;
    std::unique_ptr<ScriptedPrompts> m_prompts;

    // A channel that is ON, with its elements loaded.
    void setUpChannel(int ch, const QString& settings, const QString& id = {})
    {
        ChannelSettings[ch] = settings;
        Channel_Window::ChannelId[ch] = id;
        ChannelState[ch] = 1;
        Channel_Window::ChannelsCount = qMax<quint8>(Channel_Window::ChannelsCount, ch);
        LoadChannelHW(ch);
    }

private slots:
    void init()
    {
        Globals::ResetModuleData();
        Handshakes = {"None", "Xon/Xoff", "RTS/CTS", "Xon/RTS"};
        m_mscomm = std::make_unique<SerialArray>();
        m_winsocket = std::make_unique<SocketArray>();
        BindElements(m_mscomm.get(), m_winsocket.get());
        m_prompts = std::make_unique<ScriptedPrompts>();
    }
    void cleanup()
    {
        BindElements(nullptr, nullptr);
        m_winsocket.reset();
        m_mscomm.reset();
        m_prompts.reset();
    }

    void openChannel_configuresConnectsAndSends_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::newRow("serial channel on a pty") << true;
        QTest::newRow("network channel to a local server") << false;
    }
    void openChannel_configuresConnectsAndSends()
    {
        QFETCH(bool, serial);
        SocatPair pair;
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QVERIFY2(pair.isRunning(), qPrintable(pair.errorText()));
        SocatPair::MapComPort(3, pair.pathA());
        const QString settings =
            serial ? QString("COM  3, 9600,e,7,1,RTS/CTS") : ipTo(server.serverPort());
        setUpChannel(2, settings);

        OpenChannel(2);
        QTRY_VERIFY(IsChannelConnected(2));
        QCOMPARE(GetChannelHWState(2), QString("OK"));
        QCOMPARE(GetChannelHWSettings(2), settings); // unchanged channels compare equal
        QVERIFY(m_prompts->boxes.isEmpty());

        QSerialPort farPort(pair.pathB());
        QVERIFY(farPort.open(QIODevice::ReadWrite));
        QIODevice* far = &farPort;
        if (!serial) {
            QTRY_VERIFY(server.hasPendingConnections());
            far = server.nextPendingConnection();
        }
        SendToChannel(2, "PRT\r\n", "SendCommand");
        QByteArray got;
        QTRY_COMPARE(got += far->readAll(), QByteArray("PRT\r\n"));
    }

    void serialOpenFailure_showsOneBoxAndSwitchesOff_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::newRow("missing device") << "COM  8, 9600,e,7,1,None";
        QTest::newRow("missing device, bad settings text too") << "COM  8,96x00,e,7,1,None";
    }
    void serialOpenFailure_showsOneBoxAndSwitchesOff()
    {
        QFETCH(QString, settings);
        QTemporaryDir dir;
        SocatPair::MapComPort(8, dir.filePath("gone"));
        setUpChannel(1, settings, "Scale A");

        OpenChannel(1);
        QSerialPort same(dir.filePath("gone"));
        QVERIFY(!same.open(QIODevice::ReadWrite));
        QCOMPARE(m_prompts->boxes.size(), 1);
        QCOMPARE(m_prompts->boxes[0].prompt,
                 "MSComm-Open\r\n\r\nState: Error\r\n\r\nError: " + same.errorString());
        QCOMPARE(m_prompts->boxes[0].style, Platform::vbOKOnly + Platform::vbExclamation);
        QCOMPARE(m_prompts->boxes[0].title, "State: Scale A (CH-1, " + settings + ")");
        QCOMPARE(ChannelState[1], quint8(0));
        QCOMPARE((*MSComm())(0)->Tag, QString("0"));
    }

    void networkChannelToClosedPort_cyclesWithoutBox()
    {
        setUpChannel(2, ipTo(closedPort()));
        for (int check = 0; check < 3; ++check) {
            OpenChannel(2);
            QCOMPARE(GetChannelHWState(2), QString("Connecting"));
            QTRY_COMPARE(GetChannelHWState(2), QString("Error"));
            QVERIFY(!IsChannelHWOk(2));
        }
        QVERIFY(m_prompts->boxes.isEmpty());
        QCOMPARE(ChannelState[2], quint8(1));
    }

    void sendToChannel_onlyWhenOnAndConnected_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<bool>("waitForConnection");
        QTest::addColumn<QByteArray>("received");
        QTest::newRow("ON and connected: sent") << true << true << QByteArray("AB");
        QTest::newRow("OFF: skipped") << false << true << QByteArray("B");
        QTest::newRow("still connecting: skipped") << true << false << QByteArray("B");
    }
    void sendToChannel_onlyWhenOnAndConnected()
    {
        QFETCH(bool, on);
        QFETCH(bool, waitForConnection);
        QFETCH(QByteArray, received);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        setUpChannel(3, ipTo(server.serverPort()));
        OpenChannel(3);
        if (waitForConnection)
            QTRY_VERIFY(IsChannelConnected(3));
        ChannelState[3] = on;

        SendToChannel(3, "A", "SendCommand");
        // "B" goes out on the same link once it is usable, so "A" would have come first.
        ChannelState[3] = 1;
        QTRY_VERIFY(IsChannelConnected(3));
        SendToChannel(3, "B", "SendCommand");
        QTRY_VERIFY(server.hasPendingConnections());
        QTcpSocket* far = server.nextPendingConnection();
        QByteArray got;
        QTRY_COMPARE(got += far->readAll(), received);
        QVERIFY(m_prompts->boxes.isEmpty());
    }

    void sendToAllChannels_inAscendingOrder_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("offChannel");
        QTest::addColumn<QList<int>>("order");
        QTest::newRow("three ON: 1, 2, 3") << 3 << 0 << QList<int>{1, 2, 3};
        QTest::newRow("channel 2 OFF: 1, 3") << 3 << 2 << QList<int>{1, 3};
        QTest::newRow("count 2: channel 3 left out") << 2 << 0 << QList<int>{1, 2};
    }
    void sendToAllChannels_inAscendingOrder()
    {
#ifndef Q_OS_LINUX
        QSKIP("needs kernel receive time stamps");
#else
        QFETCH(int, count);
        QFETCH(int, offChannel);
        QFETCH(QList<int>, order);
        StampingServer servers[4];
        // The system stamps arrivals only after some socket has asked for it for a while:
        // a probe connection (server 0) keeps asking and shows when stamps are there.
        QTcpSocket probe;
        QVERIFY(servers[0].listen(QHostAddress::LocalHost));
        probe.connectToHost(QHostAddress::LocalHost, servers[0].serverPort());
        QTRY_VERIFY(servers[0].accepted());
        QTRY_VERIFY(probe.write("p") == 1 && probe.flush() && servers[0].arrival() >= 0);
        // Created from the highest channel down, so creation order cannot pass for it.
        for (int ch = 3; ch >= 1; --ch) {
            QVERIFY(servers[ch].listen(QHostAddress::LocalHost));
            setUpChannel(ch, ipTo(servers[ch].serverPort()));
            OpenChannel(ch);
            QTRY_VERIFY(IsChannelConnected(ch) && servers[ch].accepted());
        }
        Channel_Window::ChannelsCount = count;
        ChannelState[offChannel] = 0;

        SendToAllChannels("PRT\r\n", "SwitchON");
        QMap<qint64, int> byArrival;
        for (int ch : order) {
            QTRY_VERIFY(servers[ch].hasData());
            byArrival.insert(servers[ch].arrival(), ch);
        }
        QVERIFY(!byArrival.contains(-1));
        QCOMPARE(byArrival.values(), order);
        for (int ch = 1; ch <= 3; ++ch)
            QCOMPARE(servers[ch].hasData(), false);
#endif
    }

    void closeThenOpen_appliesTheSettingsAgain_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::newRow("serial: new line settings") << true;
        QTest::newRow("network: new server") << false;
    }
    void closeThenOpen_appliesTheSettingsAgain()
    {
        QFETCH(bool, serial);
        SocatPair pair;
        QVERIFY2(pair.isRunning(), qPrintable(pair.errorText()));
        SocatPair::MapComPort(3, pair.pathA());
        QTcpServer first, second;
        QVERIFY(first.listen(QHostAddress::LocalHost) && second.listen(QHostAddress::LocalHost));
        const QString before = serial ? "COM  3, 9600,n,8,1,None" : ipTo(first.serverPort());
        const QString after = serial ? "COM  3,19200,n,8,2,Xon/Xoff" : ipTo(second.serverPort());
        setUpChannel(4, before);
        OpenChannel(4);
        QTRY_VERIFY(IsChannelConnected(4));

        ChannelSettings[4] = after;
        OpenChannel(4); // configured already: the new text is not read
        QCOMPARE(GetChannelHWSettings(4), before);
        CloseChannel(4);
        QVERIFY(!IsChannelConnected(4));
        OpenChannel(4);
        QTRY_VERIFY(IsChannelConnected(4));
        QCOMPARE(GetChannelHWSettings(4), after);
        if (!serial)
            QTRY_VERIFY(second.hasPendingConnections());
    }

    void openChannel_resetsForwardingStateOfChannel1Only_data()
    {
        QTest::addColumn<int>("ch");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<bool>("reset");
        QTest::newRow("channel 1 without hardware: reset") << 1 << "none" << true;
        QTest::newRow("channel 1, port fails: reset after the box")
            << 1 << "COM  8, 9600,e,7,1,None" << true;
        QTest::newRow("channel 2: untouched") << 2 << "none" << false;
    }
    void openChannel_resetsForwardingStateOfChannel1Only()
    {
        QFETCH(int, ch);
        QFETCH(QString, settings);
        QFETCH(bool, reset);
        QTemporaryDir dir;
        SocatPair::MapComPort(8, dir.filePath("gone"));
        setUpChannel(ch, settings);
        LastKeyWasTab = false;
        FieldCount = 5;
        AfterSign = true;
        AtLineStart = false;
        int fieldsWhileBoxShown = -1;
        m_prompts->onNextBox([&] { fieldsWhileBoxShown = FieldCount; });

        OpenChannel(ch);
        QCOMPARE(LastKeyWasTab, reset);
        QCOMPARE(FieldCount, qint16(reset ? 0 : 5));
        QCOMPARE(AfterSign, !reset);
        QCOMPARE(AtLineStart, reset);
        QCOMPARE(fieldsWhileBoxShown, m_prompts->boxes.isEmpty() ? -1 : 5);
    }

    void loadAndUnload_keepChannel1Elements_data()
    {
        QTest::addColumn<int>("ch");
        QTest::newRow("channel 1: only marked and closed") << 1;
        QTest::newRow("channel 7: created and destroyed") << 7;
    }
    void loadAndUnload_keepChannel1Elements()
    {
        QFETCH(int, ch);
        SocatPair pair;
        QVERIFY2(pair.isRunning(), qPrintable(pair.errorText()));
        SocatPair::MapComPort(5, pair.pathA());
        QCOMPARE(MSComm()->Exists(ch - 1), ch == 1);
        setUpChannel(ch, "COM  5, 9600,n,8,1,None");
        QVERIFY(MSComm()->Exists(ch - 1) && Winsocket()->Exists(ch - 1));
        QCOMPARE((*Winsocket())(ch - 1)->Tag, QString("0"));
        OpenChannel(ch);
        QVERIFY(IsChannelConnected(ch));
        SerialPortElement* port = (*MSComm())(ch - 1);

        UnloadChannelHW(ch);
        QCOMPARE(MSComm()->Exists(ch - 1), ch == 1);
        QCOMPARE(Winsocket()->Exists(ch - 1), ch == 1);
        if (ch == 1)
            QVERIFY(!port->PortOpen());
        // The device is free again at once, also while a destroyed element awaits deletion.
        QSerialPort same(pair.pathA());
        QVERIFY(same.open(QIODevice::ReadWrite));
    }

    void unloadFromInsideItsOwnNotification_isSafe()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        setUpChannel(7, ipTo(server.serverPort()));
        OpenChannel(7);
        QTRY_VERIFY(IsChannelConnected(7) && server.hasPendingConnections());
        // As when the user closes the window during a box shown while receiving; the
        // second notice comes with the peer's close, from deep inside the element.
        int notices = 0;
        connect((*Winsocket())(6), &SocketElement::DataArrival, this, [&] {
            if (++notices == 2)
                UnloadChannelHW(7);
        });
        QTcpSocket* far = server.nextPendingConnection();
        far->write("+ 1.000 g\r\n");
        far->disconnectFromHost();
        QTRY_VERIFY(!Winsocket()->Exists(6));
        QTRY_COMPARE(far->state(), QAbstractSocket::UnconnectedState);
    }
};

QTEST_GUILESS_MAIN(tst_ChannelConnections)
#include "tst_channel_connections.moc"
