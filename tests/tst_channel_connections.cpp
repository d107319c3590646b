// Channel connections over real links (socat pty pairs, servers on 127.0.0.1); boxes scripted.

#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <memory>
#include <tuple>

#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "comm/channel_connections.h"
#include "shell/module_data.h"
#include "shell/pending_error.h"
#include "support/loopback_balance.h"
#include "support/net_namespace.h"
#include "support/program_doubles.h"
#include "support/socat_pair.h"

#include <sys/socket.h>

using namespace Communication_HW;
using Channel_Window::ChannelSettings;
using Channel_Window::ChannelState;

class tst_ChannelConnections : public ProgramTestCase
{
    Q_OBJECT

    std::unique_ptr<SocatPair> m_pair; // COM 3
    QTcpServer m_server;
    static QString ipTo(quint16 port) { return QStringLiteral("IP 127.0.0.1:%1").arg(port); }

    // A channel that is ON, with its elements loaded.
    void setUpChannel(int ch, const QString& settings, const QString& id = {})
    {
        ChannelSettings[ch] = settings;
        Channel_Window::ChannelId[ch] = id;
        ChannelState[ch] = 1;
        Channel_Window::ChannelsCount = qMax<quint8>(Channel_Window::ChannelsCount, ch);
        LoadChannelHW(ch);
    }
    QTcpSocket* farEnd()
    {
        // nullptr when the program never connected; the caller's check then fails.
        return QTest::qWaitFor([&] { return m_server.hasPendingConnections(); })
                   ? m_server.nextPendingConnection()
                   : nullptr;
    }

private slots:
    // The program runs without its channel check: each test opens channels itself.
    void init()
    {
        ProgramTestCase::init();
        m_fake->start().StopCheckChannels();
        m_pair = std::make_unique<SocatPair>();
        QVERIFY2(m_pair->isRunning(), qPrintable(m_pair->errorText()));
        SocatPair::MapComPort(3, m_pair->pathA());
        SocatPair::MapComPort(8, m_pair->pathA() + ".gone"); // a missing device
        m_server.close();
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
    }

    void openChannel_sendsAndTakesNewSettingsOnlyAfterClose_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::newRow("serial channel on a pty: new line settings") << true;
        QTest::newRow("network channel to a local server: new server") << false;
    }
    void openChannel_sendsAndTakesNewSettingsOnlyAfterClose()
    {
        QFETCH(bool, serial);
        QTcpServer second;
        QVERIFY(second.listen(QHostAddress::LocalHost));
        const QString before = serial ? "COM  3, 9600,e,7,1,RTS/CTS" : ipTo(m_server.serverPort());
        const QString after = serial ? "COM  3,19200,n,8,2,Xon/Xoff" : ipTo(second.serverPort());
        setUpChannel(2, before);
        OpenChannel(2);
        QTRY_VERIFY(IsChannelConnected(2));
        QCOMPARE(GetChannelHWState(2), QString("OK"));
        QVERIFY(m_fake->prompts.boxes.isEmpty());
        QSerialPort farPort(m_pair->pathB());
        QVERIFY(farPort.open(QIODevice::ReadWrite));
        QIODevice* far = serial ? &farPort : static_cast<QIODevice*>(farEnd());
        QVERIFY(far);
        SendToChannel(2, "PRT\r\n", "SendCommand");
        QByteArray got;
        QTRY_COMPARE(got += far->readAll(), QByteArray("PRT\r\n"));
        ChannelSettings[2] = after;
        OpenChannel(2);                            // configured already: the new text is not read
        QCOMPARE(GetChannelHWSettings(2), before); // unchanged channels compare equal
        CloseChannel(2);
        QVERIFY(!IsChannelConnected(2));
        OpenChannel(2);
        QTRY_VERIFY(IsChannelConnected(2));
        QCOMPARE(GetChannelHWSettings(2), after);
        if (!serial)
            QTRY_VERIFY(second.hasPendingConnections());
    }

    void openChannel_failingPortBoxes_channel1ResetsForwarding_data()
    {
        QTest::addColumn<int>("ch");
        QTest::addColumn<QString>("settings");
        QTest::newRow("channel 1, missing device: one box, OFF, reset after the box")
            << 1 << "COM  8, 9600,e,7,1,None";
        QTest::newRow("channel 1 without hardware: reset, no box") << 1 << "none";
        QTest::newRow("channel 2 without hardware: untouched") << 2 << "none";
    }
    void openChannel_failingPortBoxes_channel1ResetsForwarding()
    {
        QFETCH(int, ch);
        QFETCH(QString, settings);
        setUpChannel(ch, settings, "Scale A");
        std::tie(LastKeyWasTab, FieldCount, AfterSign, AtLineStart) =
            std::tuple(false, 5, true, false);
        int fieldsWhileBoxShown = -1;
        m_fake->prompts.onNextBox([&] { fieldsWhileBoxShown = FieldCount; });
        OpenChannel(ch);
        QCOMPARE((QList<int>{LastKeyWasTab, FieldCount, AfterSign, AtLineStart}),
                 (ch == 1 ? QList<int>{1, 0, 0, 1} : QList<int>{0, 5, 1, 0}));
        QCOMPARE(m_fake->prompts.boxes.size(), settings == "none" ? 0 : 1);
        if (settings == "none")
            return;
        QCOMPARE(fieldsWhileBoxShown, 5);
        QCOMPARE(m_fake->prompts.boxes[0].prompt,
                 "MSComm-Open\r\n\r\nState: Error\r\n\r\nError: No device " + m_pair->pathA() +
                     ".gone: is the adapter plugged in? Section [Ports] of the settings names "
                     "the device of each port");
        QCOMPARE(m_fake->prompts.boxes[0].style, Platform::vbOKOnly + Platform::vbExclamation);
        QCOMPARE(m_fake->prompts.boxes[0].title, "State: Scale A (CH-1, " + settings + ")");
        QCOMPARE(ChannelState[1], quint8(0));
        QCOMPARE((*MSComm())(0)->Tag, QString("0"));
    }

    void checkPass_brokenSerialFirst_othersConnectBeforeItsBox_data()
    {
        QTest::addColumn<QString>("device"); // for COM 8, channel 1
        QTest::addColumn<QString>("reason");
        QTest::newRow("unplugged") << "gone"
                                   << "is the adapter plugged in?";
        QTest::newRow("the program's own terminal")
            << "/dev/tty"
            << "/dev/tty is the terminal this program runs in, not a balance";
        QTest::newRow("a plain file") << "file"
                                      << "is not a serial device (not a character device)";
    }
    void checkPass_brokenSerialFirst_othersConnectBeforeItsBox()
    {
        QFETCH(QString, device);
        QFETCH(QString, reason);
        const QString file = m_dir->filePath("file");
        QVERIFY(QFile(file).open(QIODevice::WriteOnly));
        SocatPair::MapComPort(8, device == "gone"   ? m_pair->pathA() + ".gone"
                                 : device == "file" ? file
                                                    : device);
        setUpChannel(1, "COM  8, 9600,e,7,1,None");
        LoopbackBalance second, third;
        setUpChannel(2, second.settings());
        setUpChannel(3, third.settings());
        bool othersUpDuringBox = false;
        m_fake->prompts.onNextBox([&] {
            othersUpDuringBox =
                QTest::qWaitFor([] { return IsChannelConnected(2) && IsChannelConnected(3); });
        });
        m_fake->main->StartCheckChannels();
        QVERIFY(othersUpDuringBox);
        QCOMPARE(m_fake->prompts.boxes.size(), 1);
        QVERIFY2(m_fake->prompts.boxes[0].prompt.startsWith("MSComm-Open\r\n\r\nState: Error") &&
                     m_fake->prompts.boxes[0].prompt.contains(reason),
                 qPrintable(m_fake->prompts.boxes[0].prompt));
        QCOMPARE(ChannelState[1], quint8(0)); // not asked again at the next check
    }

    void linkFaults_retriedWithoutBoxUntilConnected_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("nobody listening at first: errors until it listens") << "closed";
        QTest::newRow("every first SYN lost: the retry a second later connects") << "syn";
        QTest::newRow("peer gone without a word: keep-alive finds it, reconnected") << "vanish";
    }
    void linkFaults_retriedWithoutBoxUntilConnected()
    {
        QFETCH(QString, fault);
        NetNamespace net;
        if (!net.isReady() && fault != "closed")
            QSKIP("needs root, ip and nft for a network namespace of its own");
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const quint16 port = server.serverPort();
        if (fault == "closed")
            server.close();
        if (fault == "syn") // each connection's first SYN is lost
            QVERIFY(net.nft(QString(R"(table inet lossy {
                set seen { type inet_service; flags dynamic,timeout; timeout 1m; }
                chain in { type filter hook input priority 0
                  tcp dport %1 tcp flags & (syn|ack) == syn tcp sport != @seen add @seen { tcp sport } drop
                }
              })")
                                .arg(port)));
        setUpChannel(2, ipTo(port));
        m_fake->main->StartCheckChannels();
        QCOMPARE(GetChannelHWState(2), QString("Connecting")); // an open never waits
        if (fault == "closed") {
            QTRY_COMPARE(GetChannelHWState(2), QString("Error"));
            QVERIFY(!IsChannelHWOk(2));
            QVERIFY(server.listen(QHostAddress::LocalHost, port));
        }
        QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 10000);
        QTRY_VERIFY(IsChannelConnected(2));
        if (fault == "vanish") {
            // The peer resets its end while nothing gets through, so the link never hears of it.
            QTcpSocket* far = server.nextPendingConnection();
            const linger reset{1, 0};
            ::setsockopt(int(far->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            QVERIFY(
                net.nft(QString("table inet cut { chain out { type filter hook output priority 0\n"
                                "tcp sport %1 drop; tcp dport %1 drop\n}\n}")
                            .arg(port)));
            far->abort();
            QVERIFY(net.nft("delete table inet cut"));
            QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 40000);
        }
        QVERIFY(m_fake->prompts.boxes.isEmpty());
        QCOMPARE(ChannelState[2], quint8(1));
    }

    // The window says why its channel is not connected, beside its text and never in it.
    void window_saysWhyNotConnected_clearsOnConnect_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::newRow("refused by a network server, which then listens") << false;
        QTest::newRow("missing serial device: off until switched on") << true;
    }
    void window_saysWhyNotConnected_clearsOnConnect()
    {
        QFETCH(bool, serial);
        const quint16 port = m_server.serverPort();
        m_server.close();
        const QString settings = serial ? "COM  8, 9600,e,7,1,None" : ipTo(port);
        const QString why =
            serial ? "No device " + m_pair->pathA() +
                         ".gone: is the adapter plugged in? Section [Ports] of the settings names "
                         "the device of each port; the channel is off until it is switched on "
                         "again in Settings > Channels"
                   : QString("connection refused by 127.0.0.1:%1; retrying").arg(port);
        const QString title = "Scale B (CH-2, " + settings + "): ";
        QTest::ignoreMessage(QtInfoMsg, qPrintable(title + "Not connected: " + why));
        setUpChannel(2, settings, "Scale B");
        Channel_Window::ShowChannelWindow(2);
        frmTxtBox* window = Channel_Window::ExistingChannelWindow(2);
        m_fake->main->StartCheckChannels();
        QTRY_COMPARE(window->ConnectionReason(), "Not connected: " + why);
        QVERIFY(window->Caption().contains(" : Error") && window->Text().isEmpty());
        QCOMPARE(m_fake->prompts.boxes.size(), serial ? 1 : 0);
        if (serial)
            return;
        QTest::ignoreMessage(QtInfoMsg, qPrintable(title + "connected"));
        QVERIFY(m_server.listen(QHostAddress::LocalHost, port));
        QTRY_COMPARE(window->ConnectionReason(), QString());
    }

    void sendToAllChannels_onlyToChannelsOnConnectedAndCounted_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<bool>("waitForConnection");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("received");
        QTest::newRow("ON and connected: sent") << true << true << 3 << QByteArray("AB");
        QTest::newRow("OFF: skipped") << false << true << 3 << QByteArray("B");
        QTest::newRow("still connecting: skipped") << true << false << 3 << QByteArray("B");
        QTest::newRow("beyond the channel count: skipped") << true << true << 2 << QByteArray("B");
    }
    void sendToAllChannels_onlyToChannelsOnConnectedAndCounted()
    {
        QFETCH(bool, on);
        QFETCH(bool, waitForConnection);
        QFETCH(int, count);
        QFETCH(QByteArray, received);
        LoopbackBalance balance;
        setUpChannel(3, balance.settings());
        OpenChannel(3);
        if (waitForConnection)
            QTRY_VERIFY(IsChannelConnected(3));
        ChannelState[3] = on;
        Channel_Window::ChannelsCount = count;
        SendToAllChannels("A", "SwitchON");
        // "B" goes out on the same link once it is usable, so "A" would have come first.
        ChannelState[3] = 1;
        QTRY_VERIFY(IsChannelConnected(3));
        SendToChannel(3, "B", "SendCommand");
        QTRY_COMPARE(balance.received, received);
        QVERIFY(m_fake->prompts.boxes.isEmpty());
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
        QCOMPARE(MSComm()->Exists(ch - 1), ch == 1);
        setUpChannel(ch, "COM  3, 9600,n,8,1,None");
        OpenChannel(ch);
        QVERIFY(IsChannelConnected(ch) && Winsocket()->Exists(ch - 1));
        UnloadChannelHW(ch);
        QCOMPARE(MSComm()->Exists(ch - 1), ch == 1);
        QCOMPARE(Winsocket()->Exists(ch - 1), ch == 1);
        // The device is free again at once, also while a destroyed element awaits deletion.
        QSerialPort same(m_pair->pathA());
        QVERIFY(same.open(QIODevice::ReadWrite));
    }

    void unloadFromInsideItsOwnNotification_isSafe()
    {
        setUpChannel(7, ipTo(m_server.serverPort()));
        OpenChannel(7);
        QTRY_VERIFY(IsChannelConnected(7));
        QTcpSocket* far = farEnd();
        QVERIFY(far);
        // Like closing the window during a box on receipt. Unread by the program, the reading's
        // second notice comes with the peer's close.
        disconnect((*Winsocket())(6), nullptr, m_fake->main.get(), nullptr);
        int notices = 0;
        connect((*Winsocket())(6), &SocketElement::DataArrival, this, [&] {
            if (++notices == 2)
                UnloadChannelHW(7);
        });
        far->write("+ 1.000 g\r\n");
        far->disconnectFromHost();
        QTRY_VERIFY(!Winsocket()->Exists(6));
        QTRY_COMPARE(far->state(), QAbstractSocket::UnconnectedState);
    }
};

QTEST_MAIN(tst_ChannelConnections)
#include "tst_channel_connections.moc"
