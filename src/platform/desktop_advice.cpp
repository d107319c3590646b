// What a user of a Wayland desktop is told to do once, in the words of that desktop's own
// settings. XDG_CURRENT_DESKTOP is a colon-separated list ("ubuntu:GNOME", "labwc:wlroots").
#include "platform/backend_choice.h"

namespace Platform {
namespace {

enum class Kind { Gnome, Kde, Sway, Hyprland, Labwc, Other };

Kind kindOf(const QString& currentDesktop)
{
    const QStringList names = currentDesktop.toLower().split(u':', Qt::SkipEmptyParts);
    if (names.contains(QLatin1String("gnome")))
        return Kind::Gnome;
    if (names.contains(QLatin1String("kde")))
        return Kind::Kde;
    if (names.contains(QLatin1String("sway")))
        return Kind::Sway;
    if (names.contains(QLatin1String("hyprland")))
        return Kind::Hyprland;
    if (names.contains(QLatin1String("labwc")))
        return Kind::Labwc;
    return Kind::Other;
}

QString shownName(const QString& currentDesktop)
{
    return currentDesktop.isEmpty() ? QStringLiteral("a Wayland desktop")
                                    : currentDesktop + QStringLiteral(" on Wayland");
}

} // namespace

QString NoTypingReason(const QString& currentDesktop)
{
    QString remedy;
    switch (kindOf(currentDesktop)) {
    case Kind::Gnome:
        remedy = QStringLiteral("Install the package xdg-desktop-portal-gnome and log in again");
        break;
    case Kind::Kde:
        remedy = QStringLiteral("Install the package xdg-desktop-portal-kde and log in again");
        break;
    case Kind::Sway:
    case Kind::Hyprland:
    case Kind::Labwc:
        // These offer the virtual keyboard: the program did not reach the compositor.
        remedy = QStringLiteral("Start the program from within the session, where "
                                "WAYLAND_DISPLAY names the compositor");
        break;
    case Kind::Other:
        remedy = QStringLiteral("Use a compositor that offers the virtual keyboard (sway, "
                                "Hyprland, labwc) or GNOME or KDE Plasma with their desktop "
                                "portal");
        break;
    }
    return QStringLiteral("The readings of channel 1 cannot be typed into other applications on "
                          "%1: it offers neither the remote desktop portal nor a virtual "
                          "keyboard.\r\n%2, or log in to an X11 session (\"on Xorg\") instead.")
        .arg(shownName(currentDesktop), remedy);
}

QString ShortcutLine(const QString& currentDesktop, const QString& command)
{
    const QString intro =
        QStringLiteral("On %1 F12 reaches the program through a keyboard shortcut of the desktop "
                       "that runs the command\r\n    %2\r\n")
            .arg(shownName(currentDesktop), command);
    switch (kindOf(currentDesktop)) {
    case Kind::Gnome: {
        const QString path = QStringLiteral(
            "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/quorvane/");
        const QString set = QStringLiteral("gsettings set "
                                           "org.gnome.settings-daemon.plugins.media-keys."
                                           "custom-keybinding:") +
                            path;
        return intro +
               QStringLiteral("Add it once in Settings > Keyboard > View and Customize Shortcuts "
                              "> Custom Shortcuts, with the shortcut F12; or in a terminal "
                              "(this replaces other custom shortcuts):\r\n"
                              "gsettings set org.gnome.settings-daemon.plugins.media-keys "
                              "custom-keybindings \"['%1']\"\r\n"
                              "%2 name 'Quorvane data request'\r\n"
                              "%2 command '%3'\r\n"
                              "%2 binding 'F12'")
                   .arg(path, set, command);
    }
    case Kind::Kde:
        return intro + QStringLiteral("Add it once in System Settings > Shortcuts > Add Command, "
                                      "with the shortcut F12.");
    case Kind::Sway:
        return intro + QStringLiteral("Add this line to ~/.config/sway/config, then reload sway "
                                      "(swaymsg reload):\r\nbindsym F12 exec %1")
                           .arg(command);
    case Kind::Hyprland:
        return intro + QStringLiteral("Add this line to ~/.config/hypr/hyprland.conf:\r\n"
                                      "bind = , F12, exec, %1")
                           .arg(command);
    case Kind::Labwc:
        return intro + QStringLiteral("Add this keybind to the <keyboard> section of "
                                      "~/.config/labwc/rc.xml, then reconfigure labwc "
                                      "(labwc --reconfigure):\r\n<keybind key=\"F12\"><action "
                                      "name=\"Execute\" command=\"%1\"/></keybind>")
                           .arg(command);
    case Kind::Other:
        break;
    }
    return intro + QStringLiteral("Bind the key F12 to this command once in the keyboard "
                                  "shortcut settings of the desktop.");
}

} // namespace Platform
