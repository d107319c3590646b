// The real desktop on Linux, chosen at the first use from the session the program runs in.
#include "platform/native_backends.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <unistd.h>

#include "platform/backend_choice.h"
#include "platform/keygrab_x11.h"
#include "platform/keystrokes_x11.h"
#include "platform/local_requests.h"
#include "platform/message_log.h"

namespace Platform {
namespace {

// A Wayland desktop that offers no way to type into other applications: the readings
// still reach the channel windows and the files, and the user is told why no keys come.
class NoTypingDesktop : public Desktop
{
public:
    explicit NoTypingDesktop(QString reason) : m_reason(std::move(reason)) {}
    void SendKeys(const QString&) override {}
    void Beep() override { QApplication::beep(); }
    QDateTime Now() override { return QDateTime::currentDateTime(); }
    QString CannotType() const override { return m_reason; }

private:
    QString m_reason;
};

// The desktop's own grab of the key (when it has one), and `quorvane --request` always:
// both reach the hook procedure while it is installed.
class SessionKeyGrab : public KeyGrab
{
public:
    SessionKeyGrab(std::unique_ptr<KeyGrab> desktopGrab, QString advice)
        : m_desktopGrab(std::move(desktopGrab)), m_advice(std::move(advice))
    {}
    KeyGrab* desktopGrab() const { return m_desktopGrab.get(); }

    quintptr Install(int vkCode, HookProcedure procedure) override
    {
        const quintptr handle =
            m_desktopGrab ? m_desktopGrab->Install(vkCode, procedure) : RequestsOnly;
        if (handle != 0)
            LocalRequests::Attach(vkCode, std::move(procedure));
        return handle;
    }
    void Remove(quintptr handle) override
    {
        LocalRequests::Detach();
        if (m_desktopGrab && handle != RequestsOnly)
            m_desktopGrab->Remove(handle);
    }
    // Once a request came in, the user has bound the key already.
    QString ShortcutAdvice() const override
    {
        return LocalRequests::FunctionKeyRequested() ? QString() : m_advice;
    }

private:
    static constexpr quintptr RequestsOnly = ~quintptr(0);
    std::unique_ptr<KeyGrab> m_desktopGrab;
    QString m_advice;
};

// The command to bind: by its name when the shell finds this program by it.
QString requestCommand()
{
    const QString self = QCoreApplication::applicationFilePath();
    const QString found = QStandardPaths::findExecutable(QStringLiteral("quorvane"));
    const bool byName = self.isEmpty() || QFileInfo(found).canonicalFilePath() == self ||
                        QFileInfo(self).fileName() != QLatin1String("quorvane");
    return (byName ? QStringLiteral("quorvane") : self) + QStringLiteral(" --request");
}

const char* typingName(TypingBackend typing)
{
    switch (typing) {
    case TypingBackend::XTest:
        return "XTest on the X server";
    case TypingBackend::RemoteDesktopPortal:
        return "the remote desktop portal";
    case TypingBackend::VirtualKeyboard:
        return "the compositor's virtual keyboard";
    case TypingBackend::None:
        break;
    }
    return "none";
}

const char* functionKeyName(FunctionKeyBackend key)
{
    switch (key) {
    case FunctionKeyBackend::X11Grab:
        return "a key grab on the X server, and `quorvane --request`";
    case FunctionKeyBackend::GlobalShortcutsPortal:
        return "the global shortcuts portal, and `quorvane --request`";
    case FunctionKeyBackend::RequestCommand:
        break;
    }
    return "`quorvane --request` bound to F12 in the desktop's settings";
}

BackendChoice& nativeChoice()
{
    static BackendChoice choice = [] {
        BackendChoice chosen =
            ChooseBackends(QProcessEnvironment::systemEnvironment(), SessionMechanisms{});
        const QLoggingCategory& category = SubsystemCategory(__FILE__);
        qCInfo(category).nospace()
            << "Typing into other applications: " << typingName(chosen.typing);
        if (chosen.typing == TypingBackend::None)
            qCInfo(category).noquote() << chosen.desktop->CannotType().replace(
                QStringLiteral("\r\n"), QStringLiteral(" "));
        qCInfo(category).nospace() << "F12: " << functionKeyName(chosen.functionKey);
        return chosen;
    }();
    return choice;
}

} // namespace

bool IsWaylandSession(const QProcessEnvironment& env)
{
    return !env.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty() ||
           env.value(QStringLiteral("XDG_SESSION_TYPE")) == QLatin1String("wayland");
}

BackendChoice ChooseBackends(const QProcessEnvironment& env, const SessionMechanisms& mechanisms)
{
    BackendChoice choice;
    if (!IsWaylandSession(env)) {
        // Typing has to know when the grab holds the keyboard.
        auto rootGrab = std::make_unique<X11::RootKeyGrab>();
        choice.desktop = std::make_unique<X11::XTestDesktop>(rootGrab.get());
        choice.keyGrab = std::make_unique<SessionKeyGrab>(std::move(rootGrab), QString());
        choice.typing = TypingBackend::XTest;
        choice.functionKey = FunctionKeyBackend::X11Grab;
        return choice;
    }
    const QString desktopName = env.value(QStringLiteral("XDG_CURRENT_DESKTOP"));
    if ((choice.desktop = mechanisms.remoteDesktop()))
        choice.typing = TypingBackend::RemoteDesktopPortal;
    else if ((choice.desktop = mechanisms.virtualKeyboard()))
        choice.typing = TypingBackend::VirtualKeyboard;
    else
        choice.desktop = std::make_unique<NoTypingDesktop>(NoTypingReason(desktopName));
    std::unique_ptr<KeyGrab> shortcuts = mechanisms.globalShortcuts();
    if (shortcuts)
        choice.functionKey = FunctionKeyBackend::GlobalShortcutsPortal;
    const QString advice = shortcuts ? QString() : ShortcutLine(desktopName, requestCommand());
    choice.keyGrab = std::make_unique<SessionKeyGrab>(std::move(shortcuts), advice);
    return choice;
}

Desktop& NativeDesktop()
{
    return *nativeChoice().desktop;
}

KeyGrab& NativeKeyGrab()
{
    return *nativeChoice().keyGrab;
}

KeyGrab* NativeDesktopKeyGrab()
{
    return static_cast<SessionKeyGrab&>(*nativeChoice().keyGrab).desktopGrab();
}

QString LocalRequests::SocketPath()
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists())
        return QDir::temp().filePath(QStringLiteral("quorvane-%1.socket").arg(getuid()));
    return QDir(folder).filePath(QStringLiteral("quorvane.socket"));
}

} // namespace Platform
