#pragma once
// One TCP client element of the Winsocket array, over QTcpSocket. It owns its socket and
// has no widget. State codes:
//   0 closed, 1 open, 2 listening, 3 connection pending, 4 resolving host, 5 host resolved,
//   6 connecting, 7 connected, 8 peer closing, 9 error.
// Connect never waits; a socket still busy is aborted first, because QTcpSocket ignores a
// second connect while it is looking up or connecting. Bytes and text map one to one
// (Latin-1) in both directions.

#include <QAbstractSocket>
#include <QObject>
#include <QString>

class QTcpSocket;

class SocketElement : public QObject
{
    Q_OBJECT
public:
    enum State : int {
        sckClosed = 0,
        sckOpen = 1,
        sckListening = 2,
        sckConnectionPending = 3,
        sckResolvingHost = 4,
        sckHostResolved = 5,
        sckConnecting = 6,
        sckConnected = 7,
        sckClosing = 8,
        sckError = 9,
    };

    explicit SocketElement(int index, QObject* parent = nullptr);
    ~SocketElement() override;

    int Index() const { return m_index; }

    QString RemoteHost() const { return m_remoteHost; }
    void SetRemoteHost(const QString& host) { m_remoteHost = host; }
    qint32 RemotePort() const { return m_remotePort; }
    void SetRemotePort(qint32 port) { m_remotePort = port; }

    int State() const { return m_state; }
    void Connect();
    void Close();
    // Queues the text for sending; false (with Globals::Err set) when not connected.
    bool SendData(const QString& text);
    // The waiting data as text; reading consumes it.
    QString GetData();
    qint64 BytesAvailable() const;

    QString Tag;

signals:
    // Emitted on the user-interface thread when data is waiting.
    void DataArrival(int index, qint64 bytesTotal);
    // Emitted whenever State() changes.
    void StateChanged(int index, int state);

private:
    void setState(int state);
    void onSocketState(QAbstractSocket::SocketState state);
    void onSocketError(QAbstractSocket::SocketError error);

    int m_index;
    QString m_remoteHost;
    qint32 m_remotePort = 0;
    int m_state = sckClosed;
    QTcpSocket* m_socket;
};
