#include "platform/global_shortcuts_portal.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>

#include "platform/message_log.h"
#include "platform/request_portal.h"
#include "platform/session_backends.h"

namespace {
// One entry of the portal's a(sa{sv}) shortcut list.
struct Shortcut
{
    QString id;
    QVariantMap properties;
};
using ShortcutList = QList<Shortcut>;

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}
} // namespace

Q_DECLARE_METATYPE(Shortcut)

namespace Platform::Portal {
namespace {

constexpr char Interface[] = "org.freedesktop.portal.GlobalShortcuts";
const QString ShortcutId = QStringLiteral("start-stop-transfer");
// Always the same, so the desktop knows the program's shortcut again at the next start.
const QString SessionToken = QStringLiteral("quorvane_start_stop_transfer");
constexpr int KeyDown = 0x100;
constexpr int KeyUp = 0x101;
constexpr int FirstFunctionKey = 0x70; // F1; F12 is 123

const QLoggingCategory& category()
{
    return SubsystemCategory(__FILE__);
}

ShortcutList shortcuts(int vkCode)
{
    return {{ShortcutId,
             {{QStringLiteral("description"), QStringLiteral("Start or stop the data request")},
              {QStringLiteral("preferred_trigger"),
               QStringLiteral("F%1").arg(vkCode - FirstFunctionKey + 1)}}}};
}

} // namespace

GlobalShortcuts::GlobalShortcuts()
{
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<ShortcutList>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(Service, DesktopPath, Interface, QStringLiteral("Activated"), this,
                SLOT(onActivated(QDBusMessage)));
    bus.connect(Service, DesktopPath, Interface, QStringLiteral("Deactivated"), this,
                SLOT(onDeactivated(QDBusMessage)));
}

quintptr GlobalShortcuts::Install(int vkCode, HookProcedure procedure)
{
    if (vkCode < FirstFunctionKey || vkCode >= FirstFunctionKey + 24)
        return 0;
    if (m_attempt && vkCode != m_vkCode) {
        m_attempt->deleteLater();
        m_attempt = nullptr;
    }
    m_vkCode = vkCode;
    m_procedure = std::move(procedure);
    m_handle = m_nextHandle++;
    if (!m_attempt)
        start();
    return m_handle;
}

// Closing the session gives the key back to the applications.
void GlobalShortcuts::Remove(quintptr handle)
{
    if (handle == 0 || handle != m_handle)
        return;
    m_handle = 0;
    m_procedure = nullptr;
    if (m_attempt)
        m_attempt->deleteLater();
    m_attempt = nullptr;
}

void GlobalShortcuts::start()
{
    m_attempt = new QObject(this);
    QObject* attempt = m_attempt;
    // Plasma 5.27 to 6.0 bind only the shortcuts named when the session is created.
    const QVariantMap options{
        {QStringLiteral("session_handle_token"), SessionToken},
        {QStringLiteral("shortcuts"), QVariant::fromValue(shortcuts(m_vkCode))}};
    CallWithResponse(
        Interface, QStringLiteral("CreateSession"), {}, options, attempt,
        [this, attempt](uint response, const QVariantMap& results) {
            if (attempt != m_attempt)
                return;
            if (response != Granted)
                return fail(
                    QStringLiteral("The desktop did not create the F12 "
                                   "shortcut (%1).")
                        .arg(results.value(QStringLiteral("error"), QStringLiteral("refused"))
                                 .toString()));
            m_session = new Session(
                HandleFrom(results.value(QStringLiteral("session_handle"))),
                [this] { fail(QStringLiteral("The desktop removed the F12 shortcut.")); }, attempt);
            bind();
        });
}

void GlobalShortcuts::bind()
{
    QObject* attempt = m_attempt;
    CallWithResponse(
        Interface, QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(m_session->handle())),
         QVariant::fromValue(shortcuts(m_vkCode)), QString()},
        {}, attempt, [this, attempt](uint response, const QVariantMap& results) {
            if (attempt != m_attempt)
                return;
            if (response != Granted)
                return fail(
                    response == Cancelled
                        ? QStringLiteral("The desktop did not allow the F12 shortcut.")
                        : QStringLiteral("The desktop could not bind the F12 shortcut "
                                         "(%1).")
                              .arg(results.value(QStringLiteral("error"), QStringLiteral("ended"))
                                       .toString()));
            qCInfo(category()) << "Start/Stop bound as the desktop's global shortcut" << ShortcutId
                               << "in session" << m_session->handle();
        });
}

void GlobalShortcuts::onActivated(const QDBusMessage& message)
{
    deliver(message, KeyDown);
}

void GlobalShortcuts::onDeactivated(const QDBusMessage& message)
{
    deliver(message, KeyUp);
}

void GlobalShortcuts::deliver(const QDBusMessage& message, int keyMessage)
{
    const QVariantList arguments = message.arguments();
    if (!m_session || !m_procedure || arguments.size() < 2 ||
        HandleFrom(arguments.at(0)) != m_session->handle() ||
        arguments.at(1).toString() != ShortcutId)
        return;
    // The procedure may remove the grab, and this procedure with it.
    const HookProcedure procedure = m_procedure;
    procedure(0, keyMessage, m_vkCode);
}

void GlobalShortcuts::fail(const QString& reason)
{
    if (m_attempt)
        m_attempt->deleteLater();
    m_attempt = nullptr;
    qCWarning(category()).noquote() << "F12 through the desktop portal stopped:" << reason;
    ReportBackendFailure(BackendFeature::FunctionKey, reason);
}

std::unique_ptr<KeyGrab> OpenGlobalShortcuts()
{
    if (InterfaceVersion(QString::fromLatin1(Interface)) == 0)
        return nullptr;
    return std::make_unique<GlobalShortcuts>();
}

} // namespace Platform::Portal
