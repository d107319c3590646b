#pragma once
// One TCP client element of the Winsocket array, over QTcpSocket. It owns its socket and
// has no widget. State codes:
//   0 closed, 1 open, 2 listening, 3 connection pending, 4 resolving host, 5 host resolved,
//   6 connecting, 7 connected, 8 peer closing, 9 error.
// Only 0, 4, 6, 7, 8 and 9 are ever reached: a client that connects out never listens.
// Connect never waits; a socket still busy is aborted first, because QTcpSocket ignores a
// second connect while it is looking up or connecting. Bytes and text map one to one
// (Latin-1) in both directions.
//
// A connected socket sends TCP keep-alive probes after 10 s of silence, every 5 s, and gives
// up after 3 unanswered ones (and after 25 s of unacknowledged data), so a peer that
// vanished without closing (a cable pulled behind a serial server) turns the state to 8
// or 9 within 30 s instead of leaving a deaf link that still reads "OK".

#include <QAbstractSocket>
#include <QObject>
#include <QString>

class QTcpSocket;
class QTimer;

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

    // Error numbers left in Globals::Err.
    static constexpr int errBadState = 40006;
    static constexpr int errInvalidOperation = 40020;
    static constexpr int errAddressNotAvailable = 10049;

    explicit SocketElement(int index, QObject* parent = nullptr);
    ~SocketElement() override;

    int Index() const { return m_index; }

    QString RemoteHost() const { return m_remoteHost; }
    void SetRemoteHost(const QString& host) { m_remoteHost = host; }
    qint32 RemotePort() const { return m_remotePort; }
    void SetRemotePort(qint32 port) { m_remotePort = port; }

    int State() const { return m_state; }
    // Starts connecting to RemoteHost:RemotePort and returns at once; refused (with
    // Globals::Err set) only while connected. A port outside 1..65535 gives state 9.
    void Connect();
    // Back to state 0 at once; data not yet read is dropped.
    void Close();
    // Hands the text to the system at once, so channels served one after another are
    // sent in that order; false (with Globals::Err set) when not connected.
    bool SendData(const QString& text);
    // The waiting data as text; reading consumes it.
    QString GetData();
    qint64 BytesAvailable() const;

    // True while a connect started less than ConnectAllowanceMs ago is still under way:
    // slow links (a VPN, a cellular modem, a busy converter) need that long to connect.
    bool ConnectStillAllowed() const;
    static constexpr int ConnectAllowanceMs = 5000;

    // Why the socket last reached state 9, for diagnostics.
    QString ErrorText() const { return m_errorText; }
    // Why the link is down, in words for the user ("connection refused by host:port"); kept
    // through the retries until a connection succeeds, and empty before any attempt failed.
    QString Reason() const { return m_reason; }

    QString Tag;

signals:
    // Emitted on the user-interface thread when data is waiting. Data that arrived just
    // before the peer closed is announced before the state turns 8.
    void DataArrival(int index, qint64 bytesTotal);
    // Emitted whenever State() changes.
    void StateChanged(int index, int state);

private:
    void setState(int state);
    void onSocketState(QAbstractSocket::SocketState state);
    void onSocketError(QAbstractSocket::SocketError error);
    void onReadyRead();
    void onPeerClosed();
    void resetLink();
    QString endpoint() const;

    int m_index;
    QString m_remoteHost;
    qint32 m_remotePort = 0;
    int m_state = sckClosed;
    // How the current connection ended, so the final unconnected state reads right.
    bool m_failed = false;
    // True while the element itself aborts the socket.
    bool m_aborting = false;
    // Changes with every Connect and Close, to notice one made from inside a handler.
    quint64 m_generation = 0;
    QString m_errorText;
    QString m_reason;
    QTcpSocket* m_socket;
    QTimer* m_connectAllowance;
};
