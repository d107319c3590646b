#pragma once
// Typing through the desktop portal's RemoteDesktop interface (GNOME, KDE Plasma): the
// desktop asks the user once whether the program may type into other applications, and
// the key events go to the compositor as keysyms of a keyboard-only session.
//
// The session is set up at the first key text, so the consent dialog appears when the
// first reading arrives with forwarding on; the keys wait in order until the user
// answered. The permission is kept across starts as the portal's restore token in the
// settings store ([Wayland] RestoreToken); the portal hands out a new token with every
// start and takes each one only once, so the newest is stored every time.
//
// Key events go out one at a time, each after the reply to the previous one: a portal that
// handles each call on a thread of its own would otherwise mix up the order of a burst and
// leave Shift down.

#include <QObject>
#include <QPointer>
#include <deque>

#include "platform/desktop.h"
#include "platform/request_portal.h"

namespace Platform::Portal {

class RemoteDesktop : public QObject, public Desktop
{
public:
    explicit RemoteDesktop(uint version);

    void SendKeys(const QString& keyText) override;
    void Beep() override;
    QDateTime Now() override;

private:
    struct KeyEvent
    {
        int keysym;
        bool down;
    };

    void start();
    // The handler of one set-up step's answer: runs next when the desktop granted it.
    ResponseHandler whenGranted(const QString& restoreToken,
                                std::function<void(const QVariantMap&)> next);
    void selectDevices(const QString& restoreToken);
    void startSession(const QString& restoreToken);
    void askAgain();
    void sendNext();
    void fail(const QString& reason);

    uint m_version;
    // Parent of the current set-up's requests and session: dropping it forgets both.
    QPointer<QObject> m_attempt;
    QPointer<Session> m_session;
    bool m_started = false;
    bool m_sending = false;
    std::deque<KeyEvent> m_events;
};

} // namespace Platform::Portal
