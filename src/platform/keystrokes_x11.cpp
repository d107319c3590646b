#include "platform/keystrokes_x11.h"

#include <QApplication>
#include <QDateTime>
#include <QTimer>

#include "platform/display_x11.h"
#include "platform/keygrab_x11.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>

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

// The stroke that typed a key press the F12 grab caught; nullopt for modifiers and keys
// we never type.
std::optional<KeyText::Stroke> strokeForKeysym(KeySym keysym)
{
    switch (keysym) {
    case XK_Return:
        return KeyText::Stroke{KeyText::Key::Enter, 0};
    case XK_Tab:
        return KeyText::Stroke{KeyText::Key::Tab, 0};
    case XK_Left:
        return KeyText::Stroke{KeyText::Key::Left, 0};
    case XK_EuroSign:
        return KeyText::Stroke{KeyText::Key::Character, 0x20AC};
    default:
        break;
    }
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF))
        return KeyText::Stroke{KeyText::Key::Character, char32_t(keysym)};
    if (keysym >= 0x01000100 && keysym <= 0x0110FFFF)
        return KeyText::Stroke{KeyText::Key::Character, char32_t(keysym - 0x01000000)};
    return std::nullopt;
}

// Keys that lock or unlock when pressed: letting them up and down again would toggle them.
bool isLockKey(KeySym keysym)
{
    return keysym == XK_Caps_Lock || keysym == XK_Shift_Lock || keysym == XK_Num_Lock ||
           keysym == XK_Scroll_Lock || keysym == XK_ISO_Lock;
}

// While F12 is down, the grab is asked again this often, in case its release got lost.
constexpr int HeldRecheckMs = 250;

bool inModifierMap(const XModifierKeymap* modifiers, unsigned keycode)
{
    for (int i = 0; i < 8 * modifiers->max_keypermod; ++i) {
        if (modifiers->modifiermap[i] == keycode)
            return true;
    }
    return false;
}

} // namespace

XTestDesktop::XTestDesktop(RootKeyGrab* grab) : m_grab(grab)
{
    m_clock.start();
    if (m_grab)
        m_grab->setLetGo(
            [this](const std::vector<unsigned long>& caught) { retypeCaught(caught); });
}

XTestDesktop::~XTestDesktop()
{
    if (m_grab)
        m_grab->setLetGo(nullptr);
    // Leave the user's keymap as we found it.
    m_queue.clear();
    unbindAll();
}

_XDisplay* XTestDesktop::display()
{
    // A lost server, or a session that moved to another display, means a new connection.
    const QByteArray wanted = qgetenv("DISPLAY");
    if (m_connection && (m_connection->lost() || m_connection->name() != wanted)) {
        unbindAll();
        m_connection.reset();
        m_userModifiers.reset();
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
    m_modifierKeys.clear();
    for (int i = 0; i < 8 * modifiers->max_keypermod; ++i) {
        const int keycode = modifiers->modifiermap[i];
        if (keycode != 0 && !isLockKey(symAt(keycode, 0)))
            m_modifierKeys.push_back({unsigned(keycode), 1u << (i / modifiers->max_keypermod)});
    }
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

std::optional<XTestDesktop::Key> XTestDesktop::bindSpare(Display* display, unsigned long keysym,
                                                         qint64& waitMs)
{
    unsigned keycode = 0;
    if (!m_spareKeycodes.empty()) {
        keycode = m_spareKeycodes.back();
        m_spareKeycodes.pop_back();
    } else if (!m_bindings.empty()) {
        // All spares in use: the character typed longest ago gives up its keycode, but only
        // once the application has had the time to read it; binding it sooner would turn
        // keys still waiting in the application's queue into the new character.
        const qint64 age = m_clock.elapsed() - m_bindings.front().usedAt;
        if (age < UnbindDelayMs && QCoreApplication::instance()) {
            waitMs = UnbindDelayMs - age;
            return std::nullopt;
        }
        keycode = m_bindings.front().keycode;
        m_keys.remove(m_bindings.front().keysym);
        m_bindings.erase(m_bindings.begin());
    } else {
        return std::nullopt;
    }
    // The same keysym on both levels, so a Shift the user holds changes nothing.
    KeySym syms[2] = {keysym, keysym};
    XChangeKeyboardMapping(display, int(keycode), 2, syms, 1);
    m_bindings.push_back({keycode, keysym, m_clock.elapsed()});
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
    const auto binding = std::find_if(m_bindings.begin(), m_bindings.end(),
                                      [&](const Binding& b) { return b.keycode == key.keycode; });
    if (binding != m_bindings.end()) {
        Binding used = *binding;
        used.usedAt = m_clock.elapsed();
        m_bindings.erase(binding);
        m_bindings.push_back(used);
    }
}

// The state is read once per turn of the event loop: a reading typed as many key texts
// in one go costs one round trip to the server, not one per character.
const XTestDesktop::UserModifiers& XTestDesktop::userModifiers(Display* display)
{
    if (m_userModifiers)
        return *m_userModifiers;
    UserModifiers& user = m_userModifiers.emplace();
    if (QCoreApplication* application = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            application, [this] { m_userModifiers.reset(); }, Qt::QueuedConnection);
    XkbStateRec state;
    if (m_xkbEventBase < 0 || XkbGetState(display, XkbUseCoreKbd, &state) != Success)
        return user;
    user.locked = state.locked_mods;
    user.latched = state.latched_mods;
    user.lockedGroup = state.locked_group;
    if (state.base_mods) {
        char down[32];
        XQueryKeymap(display, down);
        for (const ModifierKey& key : m_modifierKeys) {
            if ((key.mask & state.base_mods) && (down[key.keycode / 8] & (1 << (key.keycode % 8))))
                user.heldKeys.push_back(key.keycode);
        }
    }
    return user;
}

// Each key event carries the modifier state of the moment it is processed, so the state
// only has to be neutral from our first event to our last.
void XTestDesktop::setModifiersAside(Display* display, const UserModifiers& modifiers)
{
    if (modifiers.latched)
        XkbLatchModifiers(display, XkbUseCoreKbd, modifiers.latched, 0);
    if (modifiers.locked)
        XkbLockModifiers(display, XkbUseCoreKbd, modifiers.locked, 0);
    if (modifiers.lockedGroup)
        XkbLockGroup(display, XkbUseCoreKbd, 0);
    for (const unsigned keycode : modifiers.heldKeys)
        XTestFakeKeyEvent(display, keycode, False, CurrentTime);
}

void XTestDesktop::putModifiersBack(Display* display, const UserModifiers& modifiers)
{
    for (const unsigned keycode : modifiers.heldKeys)
        XTestFakeKeyEvent(display, keycode, True, CurrentTime);
    if (modifiers.lockedGroup)
        XkbLockGroup(display, XkbUseCoreKbd, unsigned(modifiers.lockedGroup));
    if (modifiers.locked)
        XkbLockModifiers(display, XkbUseCoreKbd, modifiers.locked, modifiers.locked);
    if (modifiers.latched)
        XkbLatchModifiers(display, XkbUseCoreKbd, modifiers.latched, modifiers.latched);
}

void XTestDesktop::SendKeys(const QString& keyText)
{
    const QList<uint> ucs4 = keyText.toUcs4();
    const std::u32string text(ucs4.cbegin(), ucs4.cend());
    const std::vector<KeyText::Stroke> strokes = KeyText::Parse(text);
    const bool waiting = !m_queue.empty();
    m_queue.insert(m_queue.end(), strokes.begin(), strokes.end());
    // Keys already waiting go first; they are typed when their wait ends.
    if (!waiting)
        typeQueued();
}

void XTestDesktop::typeQueued()
{
    if (m_queue.empty())
        return;
    if (m_grab && m_grab->keyHeld()) {
        typeLater(HeldRecheckMs); // the release itself calls us back at once
        return;
    }
    Display* display = this->display();
    if (!display) {
        m_queue.clear();
        return;
    }
    readPendingEvents(display);
    if (m_keymapStale)
        loadKeymap(display);
    if (m_keymapStale) {
        // The server went away while we asked: the keys have nowhere to go.
        m_queue.clear();
        return;
    }
    const UserModifiers aside = userModifiers(display);
    setModifiersAside(display, aside);
    qint64 waitMs = 0;
    while (!m_queue.empty()) {
        const KeySym keysym = keysymForStroke(m_queue.front());
        std::optional<Key> key = keyFor(keysym);
        if (!key)
            key = bindSpare(display, keysym, waitMs);
        if (waitMs > 0)
            break;
        if (key)
            press(display, *key);
        m_queue.pop_front();
    }
    putModifiersBack(display, aside);
    // Sent, not waited for: the receiving application takes the keys at its own pace.
    XFlush(display);
    if (waitMs > 0)
        typeLater(int(waitMs));
    if (!m_bindings.empty())
        scheduleUnbind();
}

void XTestDesktop::typeLater(int delayMs)
{
    if (!m_typingTimer) {
        if (!QCoreApplication::instance())
            return;
        m_typingTimer = new QTimer(QCoreApplication::instance());
        m_typingTimer->setSingleShot(true);
        QObject::connect(m_typingTimer, &QTimer::timeout, m_typingTimer, [this] { typeQueued(); });
    }
    m_typingTimer->start(delayMs);
}

// Keys that went into the F12 grab were typed before anything still waiting.
void XTestDesktop::retypeCaught(const std::vector<unsigned long>& keysyms)
{
    std::vector<KeyText::Stroke> strokes;
    for (const unsigned long keysym : keysyms) {
        if (const std::optional<KeyText::Stroke> stroke = strokeForKeysym(keysym))
            strokes.push_back(*stroke);
    }
    m_queue.insert(m_queue.begin(), strokes.begin(), strokes.end());
    if (!m_queue.empty())
        typeLater(0);
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
        QObject::connect(m_unbindTimer, &QTimer::timeout, m_unbindTimer, [this] {
            // Keys still waiting may need the bindings; typing them starts this again.
            if (m_queue.empty())
                unbindAll();
        });
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
