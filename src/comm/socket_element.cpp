#include "comm/socket_element.h"

#include <QTcpSocket>
#include <QTimer>

#include "platform/serial_device.h"
#include "shell/pending_error.h"

SocketElement::SocketElement(int index, QObject* parent)
    : QObject(parent), m_index(index), m_socket(new QTcpSocket(this)),
      m_connectAllowance(new QTimer(this))
{
    m_connectAllowance->setSingleShot(true);
    m_connectAllowance->setInterval(ConnectAllowanceMs);
    connect(m_socket, &QTcpSocket::stateChanged, this, &SocketElement::onSocketState);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &SocketElement::onSocketError);
    connect(m_socket, &QTcpSocket::readyRead, this, &SocketElement::onReadyRead);
}

SocketElement::~SocketElement()
{
    // Nothing may reach the owner's handlers while the element is going away.
    m_socket->disconnect(this);
    m_socket->abort();
}

void SocketElement::Connect()
{
    if (m_socket->state() == QAbstractSocket::ConnectedState) {
        Globals::Err.Raise(errInvalidOperation,
                           QStringLiteral("Invalid operation at current state"));
        return;
    }
    resetLink();
    if (m_remotePort < 1 || m_remotePort > 65535) {
        m_failed = true;
        m_errorText = QStringLiteral("The requested address is not valid in its context");
        m_reason = QStringLiteral("%1 is no port number (1 to 65535)").arg(m_remotePort);
        Globals::Err.Raise(errAddressNotAvailable, m_errorText);
        setState(sckError);
        return;
    }
    m_connectAllowance->start();
    m_socket->connectToHost(m_remoteHost, quint16(m_remotePort));
}

bool SocketElement::ConnectStillAllowed() const
{
    return m_connectAllowance->isActive() &&
           (m_state == sckResolvingHost || m_state == sckConnecting);
}

void SocketElement::Close()
{
    // The channel check closes an attempt that outlived its allowance and starts anew.
    if ((m_state == sckResolvingHost || m_state == sckConnecting) &&
        !m_connectAllowance->isActive())
        m_reason = QStringLiteral("no answer from %1 (time-out)").arg(endpoint());
    resetLink();
    setState(sckClosed);
}

void SocketElement::resetLink()
{
    // A failed connect reports only an error and a connect in progress ignores a new
    // one, so every fresh start begins from an aborted socket.
    ++m_generation;
    m_failed = false;
    m_aborting = true;
    m_socket->abort();
    m_aborting = false;
}

bool SocketElement::SendData(const QString& text)
{
    if (m_state != sckConnected) {
        Globals::Err.Raise(
            errBadState,
            QStringLiteral("Wrong protocol or connection state for the requested transaction "
                           "or request"));
        return false;
    }
    if (m_socket->write(text.toLatin1()) < 0) {
        Globals::Err.Raise(errBadState, m_socket->errorString());
        return false;
    }
    m_socket->flush();
    return true;
}

QString SocketElement::GetData()
{
    return m_socket->isOpen() ? QString::fromLatin1(m_socket->readAll()) : QString();
}

qint64 SocketElement::BytesAvailable() const
{
    return m_socket->bytesAvailable();
}

void SocketElement::setState(int state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit StateChanged(m_index, state);
}

void SocketElement::onSocketState(QAbstractSocket::SocketState state)
{
    switch (state) {
    case QAbstractSocket::HostLookupState:
        setState(sckResolvingHost);
        break;
    case QAbstractSocket::ConnectingState:
        setState(sckConnecting);
        break;
    case QAbstractSocket::ConnectedState:
        m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
        Platform::SetShortKeepAlive(m_socket->socketDescriptor());
        m_reason.clear();
        setState(sckConnected);
        break;
    case QAbstractSocket::ClosingState:
        onPeerClosed();
        break;
    case QAbstractSocket::UnconnectedState:
        if (m_aborting)
            break; // Close or Connect sets the state that follows
        // A connect that ends on its own has failed, even before its error arrives.
        if (m_failed || m_state == sckResolvingHost || m_state == sckConnecting) {
            m_failed = true;
            setState(sckError);
        } else {
            onPeerClosed();
        }
        break;
    default:
        break;
    }
}

void SocketElement::onSocketError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError) {
        onPeerClosed();
        return;
    }
    m_failed = true;
    m_errorText = m_socket->errorString();
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        m_reason = QStringLiteral("connection refused by %1").arg(endpoint());
        break;
    case QAbstractSocket::HostNotFoundError:
        m_reason = QStringLiteral("host %1 not found").arg(m_remoteHost);
        break;
    case QAbstractSocket::NetworkError: // no route to the host or its network
        m_reason = QStringLiteral("no route to %1").arg(endpoint());
        break;
    case QAbstractSocket::SocketTimeoutError:
        m_reason = QStringLiteral("no answer from %1 (time-out)").arg(endpoint());
        break;
    default:
        m_reason = QStringLiteral("%1: %2").arg(endpoint(), m_errorText);
        break;
    }
    setState(sckError);
}

QString SocketElement::endpoint() const
{
    return QStringLiteral("%1:%2").arg(m_remoteHost).arg(m_remotePort);
}

void SocketElement::onReadyRead()
{
    emit DataArrival(m_index, m_socket->bytesAvailable());
}

void SocketElement::onPeerClosed()
{
    if (m_failed || m_state == sckClosing)
        return;
    // The last bytes often come with the close itself; the reader gets them while the
    // link still counts as healthy.
    const quint64 generation = m_generation;
    if (m_socket->bytesAvailable() > 0)
        emit DataArrival(m_index, m_socket->bytesAvailable());
    if (generation == m_generation) {
        m_reason = QStringLiteral("connection closed by %1").arg(endpoint());
        setState(sckClosing);
    }
}
