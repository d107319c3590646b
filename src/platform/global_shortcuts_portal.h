#pragma once
// The function key through the desktop portal's GlobalShortcuts interface (KDE Plasma 5.27+,
// GNOME 48+, Hyprland): the program asks for one shortcut, "start-stop-transfer", with the
// key as preferred trigger; the desktop binds it (or lets the user pick another key) and
// tells us when it is pressed and released, whichever application has the focus. Those
// reach the hook procedure exactly as the key's own down and up would.
//
// The session token is always the same, so the desktop recognises the program's shortcut
// from one start to the next. Install answers at once; the binding happens later, and a
// refusal or a session the desktop closes is reported as a backend failure.

#include <QDBusMessage>
#include <QObject>
#include <QPointer>

#include "platform/key_grab.h"

namespace Platform::Portal {

class Session;

class GlobalShortcuts : public QObject, public KeyGrab
{
    Q_OBJECT
public:
    GlobalShortcuts();

    quintptr Install(int vkCode, HookProcedure procedure) override;
    void Remove(quintptr handle) override;

private slots:
    void onActivated(const QDBusMessage& message);
    void onDeactivated(const QDBusMessage& message);

private:
    void start();
    void bind();
    void deliver(const QDBusMessage& message, int keyMessage);
    void fail(const QString& reason);

    QPointer<QObject> m_attempt; // parent of the current requests and session
    QPointer<Session> m_session;
    HookProcedure m_procedure;
    int m_vkCode = 0;
    quintptr m_handle = 0;
    quintptr m_nextHandle = 1;
};

} // namespace Platform::Portal
