#include "platform/local_requests.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QUrl>
#include <QWidget>

#include "platform/message_log.h"

namespace Platform::LocalRequests {
namespace {

constexpr int KeyDown = 0x100;
constexpr int KeyUp = 0x101;
// The running program answers at once, from inside a message box too; a copy that does not
// answer within this time hangs, and the caller says so instead of waiting with it.
constexpr int AnswerWaitMs = 3000;
const QStringList TokenNames{QStringLiteral("XDG_ACTIVATION_TOKEN"),
                             QStringLiteral("DESKTOP_STARTUP_ID")};

struct Route
{
    int vkCode = 0;
    HookProcedure procedure;
    bool requested = false;
} g_route;

const QLoggingCategory& logCategory()
{
    return SubsystemCategory(__FILE__);
}

} // namespace

Answer Send(const QStringList& lines)
{
    QLocalSocket socket;
    socket.connectToServer(SocketPath());
    if (!socket.waitForConnected(AnswerWaitMs))
        return socket.error() == QLocalSocket::SocketTimeoutError ? Answer::NoAnswer
                                                                  : Answer::NotRunning;
    socket.write((lines.join(u'\n') + u'\n').toUtf8());
    for (qsizetype answered = 0; answered < lines.size();) {
        if (!socket.canReadLine() && !socket.waitForReadyRead(AnswerWaitMs))
            return Answer::NoAnswer;
        while (socket.canReadLine()) {
            socket.readLine();
            ++answered;
        }
    }
    return Answer::Done;
}

QString RaiseLine()
{
    QString line = QStringLiteral("raise");
    for (const QString& name : TokenNames) {
        const QByteArray value = qgetenv(name.toLatin1());
        if (!value.isEmpty())
            line += u' ' + name + u'=' + QString::fromLatin1(QUrl::toPercentEncoding(value));
    }
    return line;
}

void Attach(int vkCode, HookProcedure procedure)
{
    g_route.vkCode = vkCode;
    g_route.procedure = std::move(procedure);
}

void Detach()
{
    g_route.procedure = nullptr;
}

bool FunctionKeyRequested()
{
    return g_route.requested;
}

Server::Server(QObject* parent) : QObject(parent), m_server(new QLocalServer(this))
{
    // Only the user who runs the program may ask it for anything.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] { readLines(peer); });
            readLines(peer);
        }
    });
}

bool Server::listen()
{
    const QString path = SocketPath();
    if (m_server->listen(path))
        return true;
    // The caller found nobody answering there: the socket is what a killed copy left.
    QLocalServer::removeServer(path);
    return m_server->listen(path);
}

QString Server::errorString() const
{
    return m_server->errorString();
}

void Server::readLines(QLocalSocket* peer)
{
    while (peer->canReadLine()) {
        const QString line = QString::fromUtf8(peer->readLine()).trimmed();
        // Answered before acting: the action may open a message box, and the asking
        // command must not wait for the user.
        peer->write("ok\n");
        peer->flush();
        const QStringList fields = line.split(u' ', Qt::SkipEmptyParts);
        const QString what = fields.value(0);
        if (what == QLatin1String("raise")) {
            raise(fields.mid(1));
        } else if (line == QLatin1String("F12 down") || line == QLatin1String("F12 up")) {
            const bool down = line.endsWith(QLatin1String("down"));
            if (g_route.procedure) {
                g_route.requested = true;
                // A copy: the procedure may end F12 mode and detach itself.
                const HookProcedure procedure = g_route.procedure;
                procedure(0, down ? KeyDown : KeyUp, g_route.vkCode);
            } else if (down) {
                qCInfo(logCategory()) << "quorvane --request: F12 ignored, F12 mode is off";
            }
        } else {
            qCWarning(logCategory()).noquote()
                << "Unknown request on" << SocketPath() << ":" << line.left(80);
        }
    }
}

void Server::raise(const QStringList& fields)
{
    qCInfo(logCategory()) << "A second start brings the running program forward";
    QString token;
    for (const QString& field : fields) {
        const QString name = field.section(u'=', 0, 0);
        if (token.isEmpty() && TokenNames.contains(name))
            token = QUrl::fromPercentEncoding(field.section(u'=', 1).toLatin1());
    }
    // A Wayland compositor lets a window take the focus only with the token of a user's
    // action; Qt's Wayland client hands this one over with the next activation.
    if (!token.isEmpty() && QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    // An open dialog comes forward with the window, on top of it, and takes the focus (the
    // token is good for one activation).
    QWidget* focus = QApplication::activeModalWidget();
    for (QWidget* window : {m_window.data(), focus}) {
        if (!window)
            continue;
        if (window->isMinimized())
            window->showNormal();
        window->show();
        window->raise();
    }
    if (!focus)
        focus = m_window;
    if (focus)
        focus->activateWindow();
}

} // namespace Platform::LocalRequests
