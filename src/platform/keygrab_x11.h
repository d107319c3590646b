#pragma once
// The desktop-wide function key on X11: a passive grab of the key on the root window,
// with every modifier combination, on a connection of our own. The X server then sends
// every press and release of the key to us instead of the focused application, and the
// events are read on the user-interface thread as the connection's socket turns readable.
//
// Only one client may grab a key: when another program holds it, or there is no X
// server (a pure Wayland session), Install returns 0.
//
// The passive grab turns into a grab of the whole keyboard from the key's press until its
// release: keys typed into the desktop in between come to us, not to the focused
// application. Typing therefore asks keyHeld() first and waits for the key to come up
// (see XTestDesktop). Keeping the grab until the release, rather than ending it at the
// press, is what keeps the release away from the application too. Keys that still slip
// into the grab (typed in the instant between the press and our reading of it) are
// caught here and handed back with the release, to be typed again.
//
// A release whose press we never saw (the key was already down when the grab was put in
// place) is not grabbed by the server and reaches the application, which then had the
// press as well; so does the release of a key held while its grab is removed. A release of ours is
// reported as a key-up to the hook procedure, which swallows it and does nothing with it.

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "platform/key_grab.h"

class QSocketNotifier;

namespace Platform::X11 {

class Connection;

// Told when the grabbed key comes up, with the keysyms of the key presses the grab took
// from the desktop while it was down.
using LetGo = std::function<void(const std::vector<unsigned long>& caught)>;

// One installed grab; lives as a child of the application object.
class GrabbedKey : public QObject
{
public:
    GrabbedKey(int vkCode, HookProcedure procedure, LetGo letGo, QObject* parent);
    ~GrabbedKey() override;

    bool grabbed() const { return m_notifier != nullptr; }
    bool connected() const;
    // Whether the key is down, after every event the server has sent so far (read without
    // waiting for more).
    bool held();
    // Gives the key back to the applications at once; the object goes at the next
    // return to the event loop (it may be inside its own hook procedure right now).
    void release();

private:
    void readEvents();
    void dispatch();
    void letGo();

    std::unique_ptr<Connection> m_connection;
    QSocketNotifier* m_notifier = nullptr;
    unsigned m_keycode = 0;
    int m_vkCode = 0;
    HookProcedure m_procedure;
    LetGo m_letGo;
    bool m_released = false;
    bool m_held = false;
    QElapsedTimer m_sinceKeyEvent;
    std::vector<int> m_messages;         // read, not yet handed to the procedure
    std::vector<unsigned long> m_caught; // presses of other keys while held
};

class RootKeyGrab : public KeyGrab
{
public:
    quintptr Install(int vkCode, HookProcedure procedure) override;
    void Remove(quintptr handle) override;

    // Whether the grab's connection to the X server is still alive.
    bool connected(quintptr handle) const;
    // Whether any grabbed key is down right now (see GrabbedKey::held).
    bool keyHeld();
    void setLetGo(LetGo letGo) { m_letGo = std::move(letGo); }

private:
    QHash<quintptr, QPointer<GrabbedKey>> m_grabs;
    LetGo m_letGo;
    quintptr m_nextHandle = 1;
};

} // namespace Platform::X11
