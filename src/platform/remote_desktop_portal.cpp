#include "platform/remote_desktop_portal.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>

#include <xkbcommon/xkbcommon.h>

#include "platform/key_text.h"
#include "platform/message_log.h"
#include "platform/request_portal.h"
#include "platform/session_backends.h"
#include "platform/settings_store.h"

namespace Platform::Portal {
namespace {

constexpr char Interface[] = "org.freedesktop.portal.RemoteDesktop";
constexpr uint KeyboardDevice = 1;
constexpr uint PersistUntilRevoked = 2;
const QString TokenSection = QStringLiteral("Wayland");
const QString TokenKey = QStringLiteral("RestoreToken");

const QLoggingCategory& category()
{
    return SubsystemCategory(__FILE__);
}

// The compositor looks keysyms up in the user's keymap, which carries the legacy keysyms
// (EuroSign, Greek_mu) where they exist; xkbcommon's table gives those first.
int keysymFor(const KeyText::Stroke& stroke)
{
    switch (stroke.key) {
    case KeyText::Key::Enter:
        return XKB_KEY_Return;
    case KeyText::Key::Tab:
        return XKB_KEY_Tab;
    case KeyText::Key::Left:
        return XKB_KEY_Left;
    case KeyText::Key::Character:
        break;
    }
    return int(xkb_utf32_to_keysym(stroke.character));
}

QString refusal(uint response, const QVariantMap& results)
{
    if (response == Cancelled)
        return QStringLiteral("The desktop did not allow this program to type into other "
                              "applications.");
    const QString error = results.value(QStringLiteral("error")).toString();
    return error.isEmpty() ? QStringLiteral("The desktop ended the request to type into other "
                                            "applications.")
                           : QStringLiteral("The desktop portal could not start typing into "
                                            "other applications: %1")
                                 .arg(error);
}

} // namespace

RemoteDesktop::RemoteDesktop(uint version) : m_version(version) {}

void RemoteDesktop::SendKeys(const QString& keyText)
{
    const QList<uint> ucs4 = keyText.toUcs4();
    for (const KeyText::Stroke& stroke :
         KeyText::Parse(std::u32string(ucs4.cbegin(), ucs4.cend()))) {
        if (const int keysym = keysymFor(stroke); keysym != XKB_KEY_NoSymbol) {
            m_events.push_back({keysym, true});
            m_events.push_back({keysym, false});
        }
    }
    if (m_events.empty())
        return;
    if (!m_attempt)
        start();
    else if (m_started)
        sendNext();
}

void RemoteDesktop::start()
{
    m_started = false;
    m_attempt = new QObject(this);
    const QString token =
        m_version >= 2 ? SettingsStore::GetSetting(TokenSection, TokenKey) : QString();
    CallWithResponse(Interface, QStringLiteral("CreateSession"), {},
                     {{QStringLiteral("session_handle_token"), NewToken()}}, m_attempt,
                     whenGranted({}, [this, token](const QVariantMap& results) {
                         m_session = new Session(
                             HandleFrom(results.value(QStringLiteral("session_handle"))),
                             [this] {
                                 fail(QStringLiteral("The desktop ended this program's "
                                                     "permission to type into other "
                                                     "applications."));
                             },
                             m_attempt);
                         selectDevices(token);
                     }));
}

ResponseHandler RemoteDesktop::whenGranted(const QString& restoreToken,
                                           std::function<void(const QVariantMap&)> next)
{
    QObject* attempt = m_attempt;
    return [this, attempt, restoreToken, next = std::move(next)](uint response,
                                                                 const QVariantMap& results) {
        if (attempt != m_attempt)
            return;
        // A user who clicked the dialog away meant it; only a token the desktop no longer
        // honours is worth a new question.
        if (response == Ended && !restoreToken.isEmpty())
            return askAgain();
        if (response != Granted)
            return fail(refusal(response, results));
        next(results);
    };
}

void RemoteDesktop::selectDevices(const QString& restoreToken)
{
    QVariantMap options{{QStringLiteral("types"), KeyboardDevice}};
    if (m_version >= 2) {
        options.insert(QStringLiteral("persist_mode"), PersistUntilRevoked);
        if (!restoreToken.isEmpty())
            options.insert(QStringLiteral("restore_token"), restoreToken);
    }
    CallWithResponse(Interface, QStringLiteral("SelectDevices"),
                     {QVariant::fromValue(QDBusObjectPath(m_session->handle()))}, options,
                     m_attempt, whenGranted(restoreToken, [this, restoreToken](const QVariantMap&) {
                         startSession(restoreToken);
                     }));
}

void RemoteDesktop::startSession(const QString& restoreToken)
{
    CallWithResponse(
        Interface, QStringLiteral("Start"),
        {QVariant::fromValue(QDBusObjectPath(m_session->handle())), QString()}, {}, m_attempt,
        whenGranted(restoreToken, [this](const QVariantMap& results) {
            // Each token works once: the newest replaces the one just used.
            const QString newToken = results.value(QStringLiteral("restore_token")).toString();
            if (!newToken.isEmpty())
                SettingsStore::SaveSetting(TokenSection, TokenKey, newToken);
            if (!(results.value(QStringLiteral("devices")).toUInt() & KeyboardDevice))
                return fail(QStringLiteral("The desktop allowed no keyboard to this program, so "
                                           "it cannot type into other applications."));
            qCInfo(category()) << "Typing through the desktop portal's remote desktop session"
                               << m_session->handle();
            m_started = true;
            sendNext();
        }));
}

// The stored permission was used up or revoked: forget it and let the desktop ask the user.
void RemoteDesktop::askAgain()
{
    qCInfo(category()) << "The desktop refused the stored permission to type; asking again";
    SettingsStore::SaveSetting(TokenSection, TokenKey, QString());
    m_attempt->deleteLater();
    start();
}

void RemoteDesktop::sendNext()
{
    if (m_sending || m_events.empty() || !m_started)
        return;
    const KeyEvent event = m_events.front();
    m_events.pop_front();
    QDBusMessage call = QDBusMessage::createMethodCall(Service, DesktopPath, Interface,
                                                       QStringLiteral("NotifyKeyboardKeysym"));
    call.setArguments({QVariant::fromValue(QDBusObjectPath(m_session->handle())), QVariantMap(),
                       event.keysym, uint(event.down ? 1 : 0)});
    m_sending = true;
    QObject* attempt = m_attempt;
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), attempt);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, attempt, watcher] {
        watcher->deleteLater();
        if (attempt != m_attempt)
            return;
        m_sending = false;
        if (watcher->isError())
            return fail(QStringLiteral("The desktop portal stopped taking keys: %1")
                            .arg(watcher->error().message()));
        sendNext();
    });
}

void RemoteDesktop::fail(const QString& reason)
{
    if (m_attempt)
        m_attempt->deleteLater();
    m_attempt = nullptr;
    m_started = false;
    m_sending = false;
    const auto dropped =
        std::count_if(m_events.cbegin(), m_events.cend(), [](const KeyEvent& e) { return e.down; });
    m_events.clear();
    qCWarning(category()).noquote() << "Typing through the desktop portal stopped:" << reason
                                    << QStringLiteral("(%1 keys not typed)").arg(dropped);
    ReportBackendFailure(BackendFeature::Typing, reason);
}

void RemoteDesktop::Beep()
{
    QApplication::beep();
}

QDateTime RemoteDesktop::Now()
{
    return QDateTime::currentDateTime();
}

std::unique_ptr<Desktop> OpenRemoteDesktop()
{
    const uint version = InterfaceVersion(QString::fromLatin1(Interface));
    if (version == 0)
        return nullptr;
    return std::make_unique<RemoteDesktop>(version);
}

} // namespace Platform::Portal
