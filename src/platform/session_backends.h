#pragma once
// The desktop mechanisms of a Wayland session. XTest and a root-window key grab reach only
// X11 windows there, so typing and the F12 key go through what the compositor offers; the
// native backend selection tries these in order of preference and falls back to the next
// when a factory returns nullptr (mechanism not offered by this desktop).
//
// Consent, sessions and key events of these mechanisms are asynchronous: a factory never
// waits on the user, and a backend that loses what the desktop granted (consent refused,
// session revoked, compositor gone) says so through ReportBackendFailure().

#include <QString>
#include <functional>
#include <memory>

#include "platform/desktop.h"
#include "platform/key_grab.h"

namespace Platform {

enum class BackendFeature { Typing, FunctionKey };

// The main window installs the handler: it switches the matching mode off and tells the user.
using BackendFailureHandler = std::function<void(BackendFeature feature, const QString& reason)>;
void SetBackendFailureHandler(BackendFailureHandler handler);
void ReportBackendFailure(BackendFeature feature, const QString& reason);

namespace Portal {
// xdg-desktop-portal RemoteDesktop, keyboard only (GNOME, KDE Plasma).
std::unique_ptr<Desktop> OpenRemoteDesktop();
// xdg-desktop-portal GlobalShortcuts: one shortcut "start-stop-transfer", preferred
// trigger F12 (GNOME 48+, KDE Plasma 5.27+, Hyprland).
std::unique_ptr<KeyGrab> OpenGlobalShortcuts();
} // namespace Portal

namespace Wayland {
// zwp_virtual_keyboard_v1 on the compositor named by $WAYLAND_DISPLAY (sway, Hyprland, labwc).
std::unique_ptr<Desktop> OpenVirtualKeyboard();
} // namespace Wayland

} // namespace Platform
