#pragma once
// Which desktop mechanisms the program uses, picked once per run from the environment it
// was started in. An X11 session types through XTest and grabs F12 on the root window. A
// Wayland session (WAYLAND_DISPLAY set, or XDG_SESSION_TYPE=wayland) types through the
// remote desktop portal, else the compositor's virtual keyboard, else not at all; F12 comes
// through the global shortcuts portal, else only as `quorvane --request` bound to F12 in
// the desktop's own settings. That command reaches the program in every session while F12
// mode is on.

#include <QProcessEnvironment>
#include <functional>
#include <memory>

#include "platform/session_backends.h"

namespace Platform {

enum class TypingBackend { XTest, RemoteDesktopPortal, VirtualKeyboard, None };
enum class FunctionKeyBackend { X11Grab, GlobalShortcutsPortal, RequestCommand };

// The Wayland mechanisms' factories; tests put their own in.
struct SessionMechanisms
{
    std::function<std::unique_ptr<Desktop>()> remoteDesktop = Portal::OpenRemoteDesktop;
    std::function<std::unique_ptr<Desktop>()> virtualKeyboard = Wayland::OpenVirtualKeyboard;
    std::function<std::unique_ptr<KeyGrab>()> globalShortcuts = Portal::OpenGlobalShortcuts;
};

struct BackendChoice
{
    TypingBackend typing = TypingBackend::None;
    FunctionKeyBackend functionKey = FunctionKeyBackend::RequestCommand;
    // The key grab first: the desktop may refer to it, and goes before it.
    std::unique_ptr<KeyGrab> keyGrab;
    std::unique_ptr<Desktop> desktop;
};

// The desktop's own grab of the key behind NativeKeyGrab(); nullptr when there is none.
KeyGrab* NativeDesktopKeyGrab();

bool IsWaylandSession(const QProcessEnvironment& env);
BackendChoice ChooseBackends(const QProcessEnvironment& env, const SessionMechanisms& mechanisms);

// The texts a user needs on a desktop without the mechanisms, named by XDG_CURRENT_DESKTOP.
QString NoTypingReason(const QString& currentDesktop);
QString ShortcutLine(const QString& currentDesktop, const QString& command);

} // namespace Platform
