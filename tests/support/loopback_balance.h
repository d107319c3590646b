#pragma once
// A balance behind a network serial server on 127.0.0.1 (a free port): it keeps what the
// program sends it, stamps each piece on arrival and can answer on each link.

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

#include "shell/module_data.h"

struct LoopbackBalance : QTcpServer
{
    LoopbackBalance()
    {
        clock.start();
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* peer = nextPendingConnection();
            links.append(peer);
            connect(peer, &QTcpSocket::readyRead, this, [this, peer] {
                const QByteArray piece = peer->readAll();
                received += piece;
                arrivals.append({clock.elapsed(), total += piece.size()});
                if (onPiece)
                    onPiece(piece);
            });
        });
    }
    QString settings() const { return QStringLiteral("IP 127.0.0.1:%1").arg(serverPort()); }
    // The only channel of the running program, switched on, asked with "PRT".
    void becomeChannel1() const
    {
        Channel_Window::ChannelsCount = 1;
        Channel_Window::ChannelState[1] = 1;
        Channel_Window::ChannelSettings[1] = settings();
        Channel_Window::ChannelCommand[1] = QStringLiteral("PRT");
    }
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
    QList<QTcpSocket*> links;                       // in the order the program connected
    std::function<void(const QByteArray&)> onPiece; // runs as each piece arrives
    QElapsedTimer clock;
    qsizetype total = 0;
    QList<std::pair<qint64, qsizetype>> arrivals; // ms, total then
};
