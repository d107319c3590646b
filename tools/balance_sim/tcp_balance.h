#pragma once
// A balance behind a network serial server: listens on 127.0.0.1, any number of clients,
// each with a conversation of its own. A client that leaves is forgotten and the port
// keeps listening, so the program can reconnect.

#include <QObject>
#include <QTcpServer>

class Balance;

class TcpBalance : public QObject
{
    Q_OBJECT
public:
    TcpBalance(Balance* balance, QObject* parent = nullptr);

    // Port 0 picks a free one. False, with errorString(), when the port is taken.
    bool listen(quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }

private:
    void acceptClients();

    Balance* m_balance;
    QTcpServer m_server;
};
