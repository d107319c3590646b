#include "platform/keystrokes_x11.h"

#include <QApplication>
#include <QDateTime>
#include <QTimer>

#include "platform/display_x11.h"
#include "platform/key_text.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace Platform::X11 {
namespace {

// Keysyms of Latin-1 characters are their code points; every other character has one
// in the Unicode block of keysyms.
KeySym keysymForCharacter(char32_t c)
{
    if ((c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF))
        return c;
    return 0x01000000 + c;
}

KeySym keysymForStroke(const KeyText::Stroke& stroke)
{
    switch (stroke.key) {
    case KeyText::Key::Enter:
        return XK_Return;
    case KeyText::Key::Tab:
        return XK_Tab;
    case KeyText::Key::Left:
        return XK_Left;
    case KeyText::Key::Character:
        break;
    }
    return keysymForCharacter(stroke.character);
}

// Layouts with a Euro key carry the old EuroSign keysym rather than the Unicode one.
KeySym legacyKeysym(KeySym keysym)
{
    return keysym == 0x010020AC ? XK_EuroSign : NoSymbol;
}

bool inModifierMap(const XModifierKeymap* modifiers, unsigned keycode)
{
    for (int i = 0; i < 8 * modifiers->max_keypermod; ++i) {
        if (modifiers->modifiermap[i] == keycode)
            return true;
    }
    return false;
}

} // namespace

XTestDesktop::XTestDesktop() = default;

XTestDesktop::~XTestDesktop()
{
    // Leave the user's keymap as we found it.
    unbindAll();
}

_XDisplay* XTestDesktop::display()
{
    // A lost server, or a session that moved to another display, means a new connection.
    const QByteArray wanted = qgetenv("DISPLAY");
    if (m_connection && (m_connection->lost() || m_connection->name() != wanted)) {
        unbindAll();
        m_connection.reset();
    }
    if (!m_connection)
        open();
    return m_canType ? m_connection->display() : nullptr;
}

void XTestDesktop::open()
{
    m_connection = std::make_unique<Connection>();
    m_keymapStale = true;
    m_xkbEventBase = -1;
    m_canType = false;
    Display* display = m_connection->display();
    if (!display)
        return;
    int opcode = 0, eventBase = 0, errorBase = 0, major = 0, minor = 0;
    m_canType = XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor);
    major = XkbMajorVersion;
    minor = XkbMinorVersion;
    if (XkbQueryExtension(display, &opcode, &eventBase, &errorBase, &major, &minor)) {
        m_xkbEventBase = eventBase;
        const unsigned mask = XkbMapNotifyMask | XkbNewKeyboardNotifyMask;
        XkbSelectEvents(display, XkbUseCoreKbd, mask, mask);
    }
}

// The only events this connection gets are keymap changes (the user's, or our own
// bindings): the keymap is read again before the next keystroke.
void XTestDesktop::readPendingEvents(Display* display)
{
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            m_keymapStale = true;
        } else if (m_xkbEventBase >= 0 && event.type == m_xkbEventBase) {
            m_keymapStale = true;
        }
    }
}

void XTestDesktop::loadKeymap(Display* display)
{
    m_keys.clear();
    m_spareKeycodes.clear();
    m_shiftKeycode = 0;
    m_level3Keycode = 0;

    int minKeycode = 0, maxKeycode = 0, width = 0;
    XDisplayKeycodes(display, &minKeycode, &maxKeycode);
    KeySym* map =
        XGetKeyboardMapping(display, KeyCode(minKeycode), maxKeycode - minKeycode + 1, &width);
    XModifierKeymap* modifiers = XGetModifierMapping(display);
    if (!map || !modifiers) {
        if (map)
            XFree(map);
        if (modifiers)
            XFreeModifiermap(modifiers);
        return;
    }
    const auto symAt = [&](int keycode, int index) {
        return index < width ? map[(keycode - minKeycode) * width + index] : NoSymbol;
    };

    for (int k = 0; k < modifiers->max_keypermod && !m_shiftKeycode; ++k)
        m_shiftKeycode = modifiers->modifiermap[ShiftMapIndex * modifiers->max_keypermod + k];
    for (int keycode = minKeycode; keycode <= maxKeycode && !m_level3Keycode; ++keycode) {
        if (symAt(keycode, 0) == XK_ISO_Level3_Shift && inModifierMap(modifiers, keycode))
            m_level3Keycode = keycode;
    }

    // The core keymap lists group 1 as levels 1 and 2 at columns 0 and 1, levels 3 and 4
    // at columns 4 and 5; columns 2 and 3 belong to group 2, which we never switch to.
    static constexpr int columnOfLevel[] = {0, 1, 4, 5};
    for (int level = 0; level < 4; ++level) {
        if (((level & 1) && !m_shiftKeycode) || ((level & 2) && !m_level3Keycode))
            continue;
        for (int keycode = minKeycode; keycode <= maxKeycode; ++keycode) {
            const KeySym sym = symAt(keycode, columnOfLevel[level]);
            if (sym != NoSymbol && !m_keys.contains(sym))
                m_keys.insert(sym, Key{unsigned(keycode), level});
        }
    }

    // Keycodes without any keysym, from the top: the bottom ones are more likely to be
    // real keys someone may map later.
    for (int keycode = minKeycode; keycode <= maxKeycode; ++keycode) {
        bool empty = !inModifierMap(modifiers, keycode);
        for (int column = 0; column < width && empty; ++column)
            empty = symAt(keycode, column) == NoSymbol;
        if (empty)
            m_spareKeycodes.push_back(keycode);
    }

    // Bindings someone else has mapped over since are theirs now.
    std::erase_if(m_bindings, [&](const Binding& binding) {
        return symAt(int(binding.keycode), 0) != binding.keysym;
    });

    XFree(map);
    XFreeModifiermap(modifiers);
    m_keymapStale = false;
}

std::optional<XTestDesktop::Key> XTestDesktop::keyFor(unsigned long keysym) const
{
    if (const auto it = m_keys.constFind(keysym); it != m_keys.cend())
        return *it;
    if (const KeySym legacy = legacyKeysym(keysym); legacy != NoSymbol) {
        if (const auto it = m_keys.constFind(legacy); it != m_keys.cend())
            return *it;
    }
    return std::nullopt;
}

std::optional<XTestDesktop::Key> XTestDesktop::bindSpare(Display* display, unsigned long keysym)
{
    unsigned keycode = 0;
    if (!m_spareKeycodes.empty()) {
        keycode = m_spareKeycodes.back();
        m_spareKeycodes.pop_back();
    } else if (!m_bindings.empty()) {
        // All spares in use: the character typed longest ago gives up its keycode.
        keycode = m_bindings.front().keycode;
        m_keys.remove(m_bindings.front().keysym);
        m_bindings.erase(m_bindings.begin());
    } else {
        return std::nullopt;
    }
    // The same keysym on both levels, so a Shift the user holds changes nothing.
    KeySym syms[2] = {keysym, keysym};
    XChangeKeyboardMapping(display, int(keycode), 2, syms, 1);
    m_bindings.push_back({keycode, keysym});
    const Key key{keycode, 0};
    m_keys.insert(keysym, key);
    return key;
}

void XTestDesktop::press(Display* display, Key key)
{
    const bool shift = key.level & 1;
    const bool level3 = key.level & 2;
    if (shift)
        XTestFakeKeyEvent(display, m_shiftKeycode, True, CurrentTime);
    if (level3)
        XTestFakeKeyEvent(display, m_level3Keycode, True, CurrentTime);
    XTestFakeKeyEvent(display, key.keycode, True, CurrentTime);
    XTestFakeKeyEvent(display, key.keycode, False, CurrentTime);
    if (level3)
        XTestFakeKeyEvent(display, m_level3Keycode, False, CurrentTime);
    if (shift)
        XTestFakeKeyEvent(display, m_shiftKeycode, False, CurrentTime);
}

void XTestDesktop::SendKeys(const QString& keyText)
{
    const QList<uint> ucs4 = keyText.toUcs4();
    const std::u32string text(ucs4.cbegin(), ucs4.cend());
    const std::vector<KeyText::Stroke> strokes = KeyText::Parse(text);
    if (strokes.empty())
        return;
    Display* display = this->display();
    if (!display)
        return;
    readPendingEvents(display);
    if (m_keymapStale)
        loadKeymap(display);
    for (const KeyText::Stroke& stroke : strokes) {
        const KeySym keysym = keysymForStroke(stroke);
        std::optional<Key> key = keyFor(keysym);
        if (!key)
            key = bindSpare(display, keysym);
        if (key)
            press(display, *key);
    }
    // Sent, not waited for: the receiving application takes the keys at its own pace.
    XFlush(display);
    if (!m_bindings.empty())
        scheduleUnbind();
}

void XTestDesktop::scheduleUnbind()
{
    if (!m_unbindTimer) {
        if (!QCoreApplication::instance()) {
            // No event loop to come back to later: the bindings cannot outlive this call.
            unbindAll();
            return;
        }
        m_unbindTimer = new QTimer(QCoreApplication::instance());
        m_unbindTimer->setSingleShot(true);
        m_unbindTimer->setInterval(UnbindDelayMs);
        QObject::connect(m_unbindTimer, &QTimer::timeout, m_unbindTimer, [this] { unbindAll(); });
    }
    m_unbindTimer->start();
}

void XTestDesktop::unbindAll()
{
    if (m_bindings.empty())
        return;
    Display* display = m_connection ? m_connection->display() : nullptr;
    if (display) {
        readPendingEvents(display);
        if (m_keymapStale)
            loadKeymap(display);
        KeySym none[2] = {NoSymbol, NoSymbol};
        for (const Binding& binding : m_bindings) {
            XChangeKeyboardMapping(display, int(binding.keycode), 2, none, 1);
            m_keys.remove(binding.keysym);
            m_spareKeycodes.push_back(binding.keycode);
        }
        XFlush(display);
    }
    m_bindings.clear();
}

void XTestDesktop::Beep()
{
    if (Display* display = this->display()) {
        XBell(display, 0);
        XFlush(display);
        return;
    }
    QApplication::beep();
}

QDateTime XTestDesktop::Now()
{
    return QDateTime::currentDateTime();
}

} // namespace Platform::X11
