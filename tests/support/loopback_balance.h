#pragma once
// A balance behind a network serial server on 127.0.0.1 (a free port): it keeps what the
// program sends it and stamps each piece on arrival.

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

struct LoopbackBalance : QTcpServer
{
    LoopbackBalance()
    {
        clock.start();
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* peer = nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, this, [this, peer] {
                const QByteArray piece = peer->readAll();
                received += piece;
                arrivals.append({clock.elapsed(), total += piece.size()});
            });
        });
    }
    QString settings() const { return QStringLiteral("IP 127.0.0.1:%1").arg(serverPort()); }
    // When byte number `index` (from 0) of all it was sent had arrived, in ms on `clock`.
    qint64 arrivalOf(qsizetype index) const
    {
        for (const auto& [ms, bytes] : arrivals) {
            if (bytes > index)
                return ms;
        }
        return -1;
    }

    QByteArray received;
    QElapsedTimer clock;
    qsizetype total = 0;
    QList<std::pair<qint64, qsizetype>> arrivals; // ms, total then
};
