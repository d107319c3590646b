#include "support/x_test_window.h"

#include <QSocketNotifier>
#include <algorithm>

#include "platform/display_x11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

// The text a key press composes: the character of a printable Latin-1 or Unicode keysym
// (whatever the locale's encoding), or the control character XLookupString gives for keys
// such as Return and Tab.
QString composedText(const char* bytes, int length, KeySym keysym)
{
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF) ||
        (keysym >= 0x01000100 && keysym <= 0x0110FFFF)) {
        const char32_t code = char32_t(keysym & 0xFFFFFF);
        return QString::fromUcs4(&code, 1);
    }
    if (length == 1 && (uchar(bytes[0]) < 0x20 || uchar(bytes[0]) == 0x7F))
        return QString(QChar(char16_t(bytes[0])));
    return {};
}

} // namespace

XTestWindow::XTestWindow(QObject* parent)
    : QObject(parent), m_connection(std::make_unique<Platform::X11::Connection>())
{
    Display* display = m_connection->display();
    if (!display)
        return;
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 10, 10, 300, 200,
                                              0, BlackPixel(display, 0), WhitePixel(display, 0));
    XSelectInput(display, window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    XMapWindow(display, window);
    // The focus can only go to a viewable window.
    XEvent event;
    do {
        XWindowEvent(display, window, StructureNotifyMask, &event);
    } while (event.type != MapNotify);
    m_window = window;
    takeFocus();

    m_notifier =
        std::make_unique<QSocketNotifier>(ConnectionNumber(display), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &XTestWindow::readEvents);
    readQueuedEvents();
}

// The notifier goes before the connection whose socket it watches.
XTestWindow::~XTestWindow() = default;

void XTestWindow::takeFocus()
{
    if (Display* display = m_connection->display(); display && m_window) {
        XSetInputFocus(display, m_window, RevertToPointerRoot, CurrentTime);
        XSync(display, False);
        readQueuedEvents();
    }
}

// Events Xlib read while waiting for a reply do not make the socket readable again.
void XTestWindow::readQueuedEvents()
{
    QMetaObject::invokeMethod(this, &XTestWindow::readEvents, Qt::QueuedConnection);
}

QString XTestWindow::text() const
{
    QString text;
    for (const KeyEvent& event : m_events)
        text += event.text; // a release composes nothing
    return text;
}

QStringList XTestWindow::presses() const
{
    QStringList presses;
    for (const KeyEvent& event : m_events)
        if (event.press)
            presses << event.keysym;
    return presses;
}

bool XTestWindow::grabKey(const char* keysymName)
{
    Display* display = m_connection->display();
    if (!display)
        return false;
    const KeyCode keycode = XKeysymToKeycode(display, XStringToKeysym(keysymName));
    m_connection->beginTrap();
    XGrabKey(display, keycode, 0, DefaultRootWindow(display), False, GrabModeAsync, GrabModeAsync);
    const bool grabbed = m_connection->endTrap() == 0;
    readQueuedEvents();
    return grabbed;
}

bool XTestWindow::fakeKey(const char* keysymName, bool press)
{
    Display* display = m_connection->display();
    const KeyCode keycode =
        display ? XKeysymToKeycode(display, XStringToKeysym(keysymName)) : KeyCode(0);
    if (keycode == 0)
        return false;
    XTestFakeKeyEvent(display, keycode, press, CurrentTime);
    XFlush(display);
    return true;
}

bool XTestWindow::keymapHolds(unsigned long keysym)
{
    Display* display = m_connection->display();
    int minKeycode = 0, maxKeycode = 0, width = 0;
    if (display)
        XDisplayKeycodes(display, &minKeycode, &maxKeycode);
    const int count = display ? maxKeycode - minKeycode + 1 : 0;
    KeySym* map =
        count ? XGetKeyboardMapping(display, KeyCode(minKeycode), count, &width) : nullptr;
    const bool found = map && std::find(map, map + count * width, keysym) != map + count * width;
    if (map)
        XFree(map);
    readQueuedEvents();
    return found;
}

void XTestWindow::readEvents()
{
    Display* display = m_connection->display();
    while (display && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            continue;
        }
        if (event.type != KeyPress && event.type != KeyRelease)
            continue;
        char bytes[32];
        KeySym keysym = NoSymbol;
        const int length = XLookupString(&event.xkey, bytes, sizeof bytes, &keysym, nullptr);
        KeyEvent key;
        key.press = event.type == KeyPress;
        const char* name = XKeysymToString(keysym);
        key.keysym = name ? QString::fromLatin1(name) : QString::number(keysym, 16);
        key.text = key.press ? composedText(bytes, length, keysym) : QString();
        key.state = event.xkey.state;
        m_events.append(key);
        emit keyEvent();
    }
    if (m_notifier && !m_connection->display())
        m_notifier->setEnabled(false);
}
