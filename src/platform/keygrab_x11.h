#pragma once
// The desktop-wide function key on X11: a passive grab of the key on the root window,
// with every modifier combination, on a connection of our own. The X server then sends
// every press and release of the key to us instead of the focused application, and the
// events are read on the user-interface thread as the connection's socket turns readable.
//
// Only one client may grab a key: when another program holds it, or there is no X
// server (a pure Wayland session), Install returns 0.

#include <QHash>
#include <QObject>
#include <QPointer>
#include <memory>

#include "platform/key_grab.h"

class QSocketNotifier;

namespace Platform::X11 {

class Connection;

// One installed grab; lives as a child of the application object.
class GrabbedKey : public QObject
{
public:
    GrabbedKey(int vkCode, HookProcedure procedure, QObject* parent);
    ~GrabbedKey() override;

    bool grabbed() const { return m_notifier != nullptr; }
    bool connected() const;
    // Gives the key back to the applications at once; the object goes at the next
    // return to the event loop (it may be inside its own hook procedure right now).
    void release();

private:
    void dispatch();

    std::unique_ptr<Connection> m_connection;
    QSocketNotifier* m_notifier = nullptr;
    unsigned m_keycode = 0;
    int m_vkCode = 0;
    HookProcedure m_procedure;
    bool m_released = false;
};

class RootKeyGrab : public KeyGrab
{
public:
    quintptr Install(int vkCode, HookProcedure procedure) override;
    void Remove(quintptr handle) override;

    // Whether the grab's connection to the X server is still alive.
    bool connected(quintptr handle) const;

private:
    QHash<quintptr, QPointer<GrabbedKey>> m_grabs;
    quintptr m_nextHandle = 1;
};

} // namespace Platform::X11
