// The socket element against real servers on 127.0.0.1: the state codes through a
// connection's life, every byte value both ways, a peer that closes right after sending,
// refused connections and restarts.

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "comm/socket_element.h"
#include "shell/pending_error.h"

namespace {

QByteArray allByteValues()
{
    QByteArray bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[i] = char(i);
    return bytes;
}

QList<int> statesOf(const QSignalSpy& spy)
{
    QList<int> states;
    for (const QList<QVariant>& args : spy)
        states.append(args.at(1).toInt());
    return states;
}

} // namespace

class tst_SocketElement : public QObject
{
    Q_OBJECT

    QTcpServer m_server;

    // Connects the element to m_server; the server's end of the connection.
    QTcpSocket* connectTo(SocketElement& socket)
    {
        socket.SetRemoteHost("127.0.0.1");
        socket.SetRemotePort(m_server.serverPort());
        socket.Connect();
        const bool up = QTest::qWaitFor([&] {
            return socket.State() == SocketElement::sckConnected &&
                   m_server.hasPendingConnections();
        });
        return up ? m_server.nextPendingConnection() : nullptr;
    }

private slots:
    void init()
    {
        Globals::Err.Clear();
        m_server.close();
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
    }

    void connect_goesFromConnectingToConnected()
    {
        SocketElement socket(4);
        QSignalSpy changes(&socket, &SocketElement::StateChanged);
        socket.SetRemoteHost("127.0.0.1");
        socket.SetRemotePort(m_server.serverPort());

        socket.Connect();
        QCOMPARE(socket.State(), int(SocketElement::sckConnecting)); // Connect does not wait
        QTRY_COMPARE(socket.State(), int(SocketElement::sckConnected));
        QCOMPARE(statesOf(changes), (QList<int>{4, 6, 7})); // even an address is "resolved"
        QCOMPARE(changes.first().first().toInt(), 4);       // the element's index
    }

    void peerClosesAfterSending_everythingArrivesBeforeState8_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("readOnArrival");
        QTest::newRow("all byte values, read on arrival") << allByteValues() << true;
        QTest::newRow("one reading, read only after the close")
            << QByteArray("+ 12.345 g\r\n") << false;
    }
    void peerClosesAfterSending_everythingArrivesBeforeState8()
    {
        QFETCH(QByteArray, payload);
        QFETCH(bool, readOnArrival);
        SocketElement socket(0);
        QTcpSocket* peer = connectTo(socket);
        QVERIFY(peer);
        QByteArray received;
        QStringList events;
        connect(&socket, &SocketElement::DataArrival, this, [&] {
            events.append("data");
            if (readOnArrival)
                received += socket.GetData().toLatin1();
        });
        connect(&socket, &SocketElement::StateChanged, this,
                [&](int, int state) { events.append(QString::number(state)); });

        peer->write(payload);
        peer->disconnectFromHost();
        QTRY_COMPARE(socket.State(), int(SocketElement::sckClosing));
        if (!readOnArrival)
            received = socket.GetData().toLatin1();
        QCOMPARE(received, payload);
        QCOMPARE(events.last(), QString("8"));
        QCOMPARE(events.count("8"), 1);
    }

    void failedConnect_givesState9_data()
    {
        QTest::addColumn<bool>("listening"); // false: nobody at the port any more
        QTest::addColumn<qint32>("port");    // 0: the server's port
        QTest::addColumn<int>("immediateError");
        QTest::newRow("nobody listening: refused") << false << 0 << 0;
        QTest::newRow("port above 65535: refused at once") << true << 70000 << 10049;
    }
    void failedConnect_givesState9()
    {
        QFETCH(bool, listening);
        QFETCH(qint32, port);
        QFETCH(int, immediateError);
        SocketElement socket(0);
        QSignalSpy changes(&socket, &SocketElement::StateChanged);
        socket.SetRemoteHost("127.0.0.1");
        socket.SetRemotePort(port ? port : m_server.serverPort());
        if (!listening)
            m_server.close();

        socket.Connect();
        QCOMPARE(Globals::Err.Number, immediateError);
        QTRY_COMPARE(socket.State(), int(SocketElement::sckError));
        QVERIFY(!socket.ErrorText().isEmpty());
        // A failed connect never passes through "closed": the caption must show the error.
        QVERIFY(!statesOf(changes).contains(int(SocketElement::sckClosed)));
    }

    void connectWhileBusy_startsAgainToTheNewPort_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("busyState");
        // Names are cached once looked up: this spelling is looked up here only.
        QTest::newRow("while resolving") << "LOCALHOST" << 4;
        QTest::newRow("while connecting") << "127.0.0.1" << 6;
    }
    void connectWhileBusy_startsAgainToTheNewPort()
    {
        QFETCH(QString, host);
        QFETCH(int, busyState);
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost));
        SocketElement socket(0);
        socket.SetRemoteHost(host);
        socket.SetRemotePort(m_server.serverPort());
        socket.Connect();
        QCOMPARE(socket.State(), busyState);

        socket.SetRemotePort(other.serverPort());
        socket.Connect();
        QTRY_VERIFY(socket.State() == SocketElement::sckConnected && other.hasPendingConnections());
        QTcpSocket* peer = other.nextPendingConnection();
        QVERIFY(socket.SendData(QString::fromLatin1(allByteValues())));
        QByteArray got;
        QTRY_COMPARE(got += peer->readAll(), allByteValues());
    }

    void closeAfterPeerClosed_returnsTo0AndDropsUnreadData()
    {
        SocketElement socket(0);
        QTcpSocket* peer = connectTo(socket);
        QVERIFY(peer);
        peer->write("+ 1.000 g\r\n");
        peer->disconnectFromHost();
        QTRY_VERIFY(socket.State() == SocketElement::sckClosing && socket.BytesAvailable() > 0);

        socket.Close();
        QCOMPARE(socket.State(), int(SocketElement::sckClosed));
        QCOMPARE(socket.GetData(), QString());
        QVERIFY(!socket.SendData("PRT\r\n"));
        QCOMPARE(Globals::Err.Number, SocketElement::errBadState);
    }
};

QTEST_GUILESS_MAIN(tst_SocketElement)
#include "tst_socket_element.moc"
