#include "tcp_balance.h"

#include <QHostAddress>
#include <QTcpSocket>

#include "balance.h"
#include "balance_session.h"

TcpBalance::TcpBalance(Balance* balance, QObject* parent) : QObject(parent), m_balance(balance)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TcpBalance::acceptClients);
}

bool TcpBalance::listen(quint16 port)
{
    return m_server.listen(QHostAddress::LocalHost, port);
}

void TcpBalance::acceptClients()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        // Single bytes must leave as single segments, not wait to be merged.
        if (m_balance->misbehaviour().split)
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto* session = new BalanceSession(m_balance, socket);
        connect(socket, &QTcpSocket::readyRead, session,
                [socket, session] { session->receive(socket->readAll()); });
        connect(session, &BalanceSession::send, socket, [socket](const QByteArray& bytes) {
            socket->write(bytes);
            socket->flush();
        });
        // Queued: the hang-up may be decided inside this socket's own readyRead.
        connect(session, &BalanceSession::hangUp, socket, &QTcpSocket::disconnectFromHost,
                Qt::QueuedConnection);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}
