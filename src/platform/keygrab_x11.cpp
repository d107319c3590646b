#include "platform/keygrab_x11.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include "platform/display_x11.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace Platform::X11 {
namespace {

constexpr int VK_F1 = 0x70;
constexpr int VK_F24 = 0x87;
constexpr int WM_KEYDOWN = 0x100;
constexpr int WM_KEYUP = 0x101;
constexpr int WM_SYSKEYDOWN = 0x104;
constexpr int WM_SYSKEYUP = 0x105;

// Only function keys can be grabbed: they type nothing, so taking them away from the
// other applications costs the user no character.
KeySym keysymForVirtualKey(int vkCode)
{
    if (vkCode >= VK_F1 && vkCode <= VK_F24)
        return XK_F1 + (vkCode - VK_F1);
    return NoSymbol;
}

} // namespace

GrabbedKey::GrabbedKey(int vkCode, HookProcedure procedure, QObject* parent)
    : QObject(parent), m_vkCode(vkCode), m_procedure(std::move(procedure))
{
    const KeySym keysym = keysymForVirtualKey(vkCode);
    if (keysym == NoSymbol)
        return;
    m_connection = std::make_unique<Connection>();
    Display* display = m_connection->display();
    if (!display)
        return;
    m_keycode = XKeysymToKeycode(display, keysym);
    if (m_keycode == 0)
        return;

    // A held key then repeats as presses alone, like key-downs on Windows, rather than as
    // release-press pairs.
    Bool detectable = False;
    XkbSetDetectableAutoRepeat(display, True, &detectable);

    // AnyModifier covers Shift, Ctrl, Alt, NumLock and CapsLock in every combination. The
    // server refuses it with BadAccess when another client holds any grab of the key.
    m_connection->beginTrap();
    for (int screen = 0; screen < ScreenCount(display); ++screen) {
        XGrabKey(display, int(m_keycode), AnyModifier, RootWindow(display, screen), False,
                 GrabModeAsync, GrabModeAsync);
    }
    if (m_connection->endTrap() != 0)
        return;

    m_notifier = new QSocketNotifier(ConnectionNumber(display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &GrabbedKey::dispatch);
    // Xlib may already hold events it read while waiting for the grab's reply.
    QMetaObject::invokeMethod(this, &GrabbedKey::dispatch, Qt::QueuedConnection);
}

GrabbedKey::~GrabbedKey()
{
    // Stop watching the socket before the connection closes it.
    delete m_notifier;
}

bool GrabbedKey::connected() const
{
    return m_connection && m_connection->display();
}

void GrabbedKey::release()
{
    if (m_released)
        return;
    m_released = true;
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (Display* display = m_connection ? m_connection->display() : nullptr) {
        for (int screen = 0; screen < ScreenCount(display); ++screen)
            XUngrabKey(display, int(m_keycode), AnyModifier, RootWindow(display, screen));
        // The key reaches the applications again once this returns.
        XSync(display, False);
    }
    deleteLater();
}

void GrabbedKey::dispatch()
{
    const QPointer<GrabbedKey> self(this);
    // Read everything Xlib has: events it already queued do not make the socket readable.
    while (!m_released) {
        Display* display = m_connection->display();
        if (!display || XPending(display) <= 0)
            break;
        XEvent event;
        XNextEvent(display, &event);
        if ((event.type != KeyPress && event.type != KeyRelease) || event.xkey.keycode != m_keycode)
            continue;
        const bool alt = event.xkey.state & Mod1Mask;
        const int message = event.type == KeyPress ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN)
                                                   : (alt ? WM_SYSKEYUP : WM_KEYUP);
        // The procedure may remove this grab (and so this object) while it runs.
        const HookProcedure procedure = m_procedure;
        procedure(0, message, m_vkCode);
        if (!self)
            return;
    }
    // A lost server leaves the socket readable for ever.
    if (m_notifier && !connected())
        m_notifier->setEnabled(false);
}

quintptr RootKeyGrab::Install(int vkCode, HookProcedure procedure)
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return 0;
    auto* grab = new GrabbedKey(vkCode, std::move(procedure), application);
    if (!grab->grabbed()) {
        delete grab;
        return 0;
    }
    const quintptr handle = m_nextHandle++;
    m_grabs.insert(handle, grab);
    return handle;
}

void RootKeyGrab::Remove(quintptr handle)
{
    if (const QPointer<GrabbedKey> grab = m_grabs.take(handle))
        grab->release();
}

bool RootKeyGrab::connected(quintptr handle) const
{
    const QPointer<GrabbedKey> grab = m_grabs.value(handle);
    return grab && grab->connected();
}

} // namespace Platform::X11
