#pragma once
// Balances behind a network serial server on 127.0.0.1 (a free port): every client the
// program opens is kept with what it sent, and the first one's pieces are stamped on arrival.

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

struct LoopbackBalances : QTcpServer
{
    LoopbackBalances()
    {
        clock.start();
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* peer = peers.emplaceBack(nextPendingConnection());
            received.emplaceBack();
            connect(peer, &QTcpSocket::readyRead, this, [this, peer] {
                const QByteArray piece = peer->readAll();
                received[peers.indexOf(peer)] += piece;
                if (peer == peers.first())
                    arrivals.append({clock.elapsed(), firstPeerBytes += piece.size()});
            });
        });
    }
    QString settings() const { return QStringLiteral("IP 127.0.0.1:%1").arg(serverPort()); }
    // When the first peer's byte number `index` (from 0) had arrived, in ms on `clock`.
    qint64 arrivalOf(qsizetype index) const
    {
        for (const auto& [ms, total] : arrivals) {
            if (total > index)
                return ms;
        }
        return -1;
    }

    QList<QTcpSocket*> peers;
    QList<QByteArray> received; // one per peer, in the order they connected
    QElapsedTimer clock;
    qsizetype firstPeerBytes = 0;
    QList<std::pair<qint64, qsizetype>> arrivals; // ms, firstPeerBytes then
};
