#include "platform/request_portal.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QHash>

namespace Platform::Portal {
namespace {

constexpr char RequestInterface[] = "org.freedesktop.portal.Request";
constexpr char SessionInterface[] = "org.freedesktop.portal.Session";

QVariantMap mapFrom(const QVariant& value)
{
    if (value.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value.toMap();
}

// A program started outside a sandbox is known to the portal by its desktop file only when
// it says which one, before its first call; permissions and shortcuts are kept per
// application. Portals older than this registry answer with an error, which changes nothing.
void registerApplication(QDBusConnection& bus)
{
    static bool registered = false;
    const QString id = QGuiApplication::desktopFileName();
    if (registered || id.isEmpty())
        return;
    registered = true;
    QDBusMessage call = QDBusMessage::createMethodCall(
        Service, DesktopPath, QStringLiteral("org.freedesktop.host.portal.Registry"),
        QStringLiteral("Register"));
    call.setArguments({id, QVariantMap()});
    bus.send(call);
}

} // namespace

// One Request waiting for its Response; goes away with the answer or with its context.
class PendingRequest : public QObject
{
    Q_OBJECT
public:
    PendingRequest(ResponseHandler handler, QObject* context)
        : QObject(context), m_handler(std::move(handler))
    {}

    void listen(const QString& path)
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!m_path.isEmpty())
            bus.disconnect(Service, m_path, RequestInterface, "Response", this,
                           SLOT(onResponse(QDBusMessage)));
        m_path = path;
        bus.connect(Service, m_path, RequestInterface, "Response", this,
                    SLOT(onResponse(QDBusMessage)));
    }

    void finish(uint response, const QVariantMap& results)
    {
        if (m_done)
            return;
        m_done = true;
        QDBusConnection::sessionBus().disconnect(Service, m_path, RequestInterface, "Response",
                                                 this, SLOT(onResponse(QDBusMessage)));
        deleteLater();
        const ResponseHandler handler = std::move(m_handler);
        handler(response, results);
    }

private slots:
    // Signals are taken as the whole message: a slot with typed arguments (a QDBusObjectPath
    // among them) is silently never called unless each type was registered with the
    // meta-type system first.
    void onResponse(const QDBusMessage& message)
    {
        const QVariantList arguments = message.arguments();
        if (arguments.size() < 2)
            return;
        finish(arguments.at(0).toUInt(), mapFrom(arguments.at(1)));
    }

private:
    ResponseHandler m_handler;
    QString m_path;
    bool m_done = false;
};

uint InterfaceVersion(const QString& interface)
{
    static QHash<QString, uint> versions;
    // A portal that did not answer once is not waited for again, for another interface.
    static bool unreachable = false;
    if (const auto known = versions.constFind(interface); known != versions.cend())
        return *known;
    uint version = 0;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && !unreachable) {
        registerApplication(bus);
        QDBusMessage get = QDBusMessage::createMethodCall(Service, DesktopPath,
                                                          "org.freedesktop.DBus.Properties", "Get");
        get.setArguments({interface, QStringLiteral("version")});
        // A bus that starts the portal on demand answers once it runs; a second is plenty
        // for a portal that is installed, and the program starts without it otherwise.
        const QDBusMessage reply = bus.call(get, QDBus::Block, 1000);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            version = reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt();
        else
            unreachable = reply.errorName() != "org.freedesktop.DBus.Error.InvalidArgs" &&
                          reply.errorName() != "org.freedesktop.DBus.Error.UnknownInterface" &&
                          reply.errorName() != "org.freedesktop.DBus.Error.UnknownProperty";
    }
    versions.insert(interface, version);
    return version;
}

void CallWithResponse(const QString& interface, const QString& method, QVariantList arguments,
                      QVariantMap options, QObject* context, ResponseHandler handler)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString token = NewToken();
    options.insert(QStringLiteral("handle_token"), token);
    // The Request's path is known before the call, so its Response cannot slip past us
    // between the reply and the subscription.
    const QString sender = bus.baseService().mid(1).replace(u'.', u'_');
    const QString expected =
        QStringLiteral("%1/request/%2/%3").arg(QLatin1String(DesktopPath), sender, token);
    auto* request = new PendingRequest(std::move(handler), context);
    request->listen(expected);

    QDBusMessage call = QDBusMessage::createMethodCall(Service, DesktopPath, interface, method);
    arguments.append(options);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), request);
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, request, [request, watcher, expected] {
            watcher->deleteLater();
            const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
            if (reply.isError())
                request->finish(Ended, {{QStringLiteral("error"), reply.error().message()}});
            else if (reply.value().path() != expected)
                request->listen(reply.value().path()); // an older portal
        });
}

QString HandleFrom(const QVariant& value)
{
    if (value.userType() == qMetaTypeId<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

QString NewToken()
{
    static uint counter = 0;
    return QStringLiteral("quorvane%1").arg(++counter);
}

Session::Session(const QString& handle, std::function<void()> closedByDesktop, QObject* parent)
    : QObject(parent), m_handle(handle), m_closedByDesktop(std::move(closedByDesktop))
{
    QDBusConnection::sessionBus().connect(Service, m_handle, SessionInterface, "Closed", this,
                                          SLOT(onClosed(QDBusMessage)));
}

Session::~Session()
{
    // After the application object the bus connection is gone; the desktop closes the
    // session itself when the program's connection ends.
    if (!QCoreApplication::instance())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.disconnect(Service, m_handle, SessionInterface, "Closed", this,
                   SLOT(onClosed(QDBusMessage)));
    if (m_open)
        bus.send(QDBusMessage::createMethodCall(Service, m_handle, SessionInterface, "Close"));
}

void Session::onClosed(const QDBusMessage&)
{
    if (!m_open)
        return;
    m_open = false;
    m_closedByDesktop();
}

} // namespace Platform::Portal

#include "request_portal.moc"
