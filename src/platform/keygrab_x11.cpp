#include "platform/keygrab_x11.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include "platform/display_x11.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace Platform::X11 {
namespace {

constexpr int VK_F1 = 0x70;
constexpr int VK_F24 = 0x87;
constexpr int WM_KEYDOWN = 0x100;
constexpr int WM_KEYUP = 0x101;
constexpr int WM_SYSKEYDOWN = 0x104;
constexpr int WM_SYSKEYUP = 0x105;
// A held key repeats every few dozen milliseconds; this long without any event of it, the
// server is asked whether it is really still down (a release lost with a broken grab must
// not stop typing for good).
constexpr qint64 ConfirmHeldAfterMs = 1000;

// Only function keys can be grabbed: they type nothing, so taking them away from the
// other applications costs the user no character.
KeySym keysymForVirtualKey(int vkCode)
{
    if (vkCode >= VK_F1 && vkCode <= VK_F24)
        return XK_F1 + (vkCode - VK_F1);
    return NoSymbol;
}

} // namespace

GrabbedKey::GrabbedKey(int vkCode, HookProcedure procedure, LetGo letGo, QObject* parent)
    : QObject(parent), m_vkCode(vkCode), m_procedure(std::move(procedure)),
      m_letGo(std::move(letGo))
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
        // Removing the passive grab leaves an active one in place until the key comes up.
        if (m_held)
            XUngrabKeyboard(display, CurrentTime);
        for (int screen = 0; screen < ScreenCount(display); ++screen)
            XUngrabKey(display, int(m_keycode), AnyModifier, RootWindow(display, screen));
        // The key reaches the applications again once this returns.
        XSync(display, False);
    }
    letGo();
    deleteLater();
}

bool GrabbedKey::held()
{
    if (m_released)
        return false;
    readEvents();
    Display* display = m_connection->display();
    if (m_held && display && m_sinceKeyEvent.elapsed() > ConfirmHeldAfterMs) {
        char keys[32];
        XQueryKeymap(display, keys);
        // Events Xlib read while waiting for the answer are older than the answer.
        readEvents();
        if (keys[m_keycode / 8] & (1 << (m_keycode % 8)))
            m_sinceKeyEvent.start();
        else
            letGo();
    }
    if (!m_messages.empty())
        QMetaObject::invokeMethod(this, &GrabbedKey::dispatch, Qt::QueuedConnection);
    return m_held;
}

void GrabbedKey::readEvents()
{
    Display* display = m_connection->display();
    if (!display) {
        letGo();
        return;
    }
    // Only what already arrived: events Xlib holds, then what waits in the socket.
    while (XEventsQueued(display, QueuedAfterReading) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            continue;
        }
        if (event.type != KeyPress && event.type != KeyRelease)
            continue;
        if (event.xkey.keycode != m_keycode) {
            // Looked up now, under the modifiers of the moment and the keymap that the
            // events before it left in place.
            KeySym keysym = NoSymbol;
            char text[8];
            if (m_held && event.type == KeyPress &&
                (XLookupString(&event.xkey, text, sizeof text, &keysym, nullptr), keysym))
                m_caught.push_back(keysym);
            continue;
        }
        const bool alt = event.xkey.state & Mod1Mask;
        m_messages.push_back(event.type == KeyPress ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN)
                                                    : (alt ? WM_SYSKEYUP : WM_KEYUP));
        m_sinceKeyEvent.start();
        if (event.type == KeyPress)
            m_held = true;
        else
            letGo();
    }
}

void GrabbedKey::letGo()
{
    if (!m_held)
        return;
    m_held = false;
    const std::vector<unsigned long> caught = std::exchange(m_caught, {});
    if (m_letGo)
        m_letGo(caught);
}

void GrabbedKey::dispatch()
{
    if (m_released)
        return;
    readEvents();
    const QPointer<GrabbedKey> self(this);
    while (!m_messages.empty()) {
        const int message = m_messages.front();
        m_messages.erase(m_messages.begin());
        // The procedure may remove this grab (and so this object) while it runs.
        const HookProcedure procedure = m_procedure;
        procedure(0, message, m_vkCode);
        if (!self || m_released)
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
    auto* grab = new GrabbedKey(
        vkCode, std::move(procedure),
        [this](const std::vector<unsigned long>& caught) {
            if (m_letGo)
                m_letGo(caught);
        },
        application);
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

bool RootKeyGrab::keyHeld()
{
    bool held = false;
    for (const QPointer<GrabbedKey>& grab : std::as_const(m_grabs)) {
        if (grab && grab->held())
            held = true;
    }
    return held;
}

bool RootKeyGrab::connected(quintptr handle) const
{
    const QPointer<GrabbedKey> grab = m_grabs.value(handle);
    return grab && grab->connected();
}

} // namespace Platform::X11
