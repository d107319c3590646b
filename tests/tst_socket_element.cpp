// The socket element against real servers on 127.0.0.1: state codes through a connection's
// life, every byte value received, a peer that closes right after sending, restarts.

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <numeric>

#include "comm/socket_element.h"
#include "shell/pending_error.h"

const QByteArray AllBytes = [] {
    QByteArray bytes(256, '\0');
    std::iota(bytes.begin(), bytes.end(), '\0');
    return bytes;
}();

class tst_SocketElement : public QObject
{
    Q_OBJECT

    QTcpServer m_server;

private slots:
    void init()
    {
        Globals::Err.Clear();
        m_server.close();
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
    }

    void connect_givesStateCodes_data()
    {
        QTest::addColumn<qint32>("port"); // 0: the server's; -1: the server's, closed
        QTest::addColumn<int>("immediateError");
        QTest::addColumn<QList<int>>("changes"); // element 1: 10 + state
        // Even an address is "resolved"; a failed connect never passes through "closed".
        QTest::newRow("listening: 4, 6, 7") << 0 << 0 << QList<int>{14, 16, 17};
        QTest::newRow("nobody listening: refused") << -1 << 0 << QList<int>{14, 16, 19};
        QTest::newRow("port above 65535: refused at once") << 70000 << 10049 << QList<int>{19};
    }
    void connect_givesStateCodes()
    {
        QFETCH(qint32, port);
        QFETCH(int, immediateError);
        QFETCH(QList<int>, changes);
        SocketElement socket(1);
        QList<int> seen;
        connect(&socket, &SocketElement::StateChanged, this,
                [&](int index, int state) { seen.append(index * 10 + state); });
        socket.SetRemoteHost("127.0.0.1");
        socket.SetRemotePort(port > 0 ? port : m_server.serverPort());
        if (port < 0)
            m_server.close();

        socket.Connect();
        QCOMPARE(Globals::Err.Number, immediateError);
        if (!immediateError)
            QCOMPARE(socket.State(), int(SocketElement::sckConnecting)); // Connect does not wait
        QTRY_COMPARE(socket.State(), changes.last() - 10);
        QCOMPARE(seen, changes);
        QCOMPARE(socket.ErrorText().isEmpty(), changes.last() != 19);
    }

    void peerClosesAfterSending_everythingArrivesBeforeState8_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("read"); // 0 on arrival, 1 after the close, 2 never: closed first
        QTest::newRow("all byte values, read on arrival") << AllBytes << 0;
        QTest::newRow("one reading, read after the close") << QByteArray("+ 1.000 g\r\n") << 1;
        QTest::newRow("one reading, closed unread: dropped") << QByteArray("+ 1.000 g\r\n") << 2;
    }
    void peerClosesAfterSending_everythingArrivesBeforeState8()
    {
        QFETCH(QByteArray, payload);
        QFETCH(int, read);
        SocketElement socket(0);
        socket.SetRemoteHost("127.0.0.1");
        socket.SetRemotePort(m_server.serverPort());
        socket.Connect();
        QTRY_VERIFY(socket.State() == SocketElement::sckConnected &&
                    m_server.hasPendingConnections());
        QTcpSocket* peer = m_server.nextPendingConnection();
        QByteArray received;
        QStringList events;
        connect(&socket, &SocketElement::DataArrival, this, [&] {
            events.append("data");
            if (read == 0)
                received += socket.GetData().toLatin1();
        });
        connect(&socket, &SocketElement::StateChanged, this,
                [&](int, int state) { events.append(QString::number(state)); });

        peer->write(payload);
        peer->disconnectFromHost();
        QTRY_COMPARE(socket.State(), int(SocketElement::sckClosing));
        QCOMPARE(events.last(), QString("8"));
        QCOMPARE(events.count("8"), 1);
        if (read == 2) {
            QVERIFY(socket.BytesAvailable() > 0);
            socket.Close();
            QCOMPARE(socket.State(), int(SocketElement::sckClosed));
            QVERIFY(!socket.SendData("PRT\r\n"));
            QCOMPARE(Globals::Err.Number, SocketElement::errBadState);
        }
        if (read > 0)
            received = socket.GetData().toLatin1();
        QCOMPARE(received, read == 2 ? QByteArray() : payload);
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
    }
};

QTEST_GUILESS_MAIN(tst_SocketElement)
#include "tst_socket_element.moc"
