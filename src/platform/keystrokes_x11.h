#pragma once
// The desktop on X11: key texts are typed into whatever window has the input focus as
// XTest key events, on a connection of our own opened at the first keystroke.
//
// Each character is pressed on a key of the current layout, with Shift or the third-level
// shift when the layout puts it there and with no other modifier, so "+", "^", "%" or "{"
// come out as themselves. A character that no key produces (µ, ° or € on many layouts) is
// bound to a spare keycode for as long as typing goes on.
//
// The keys always reach the focused application as they are meant, whatever the user's
// keyboard is doing at that moment:
//   - While the desktop F12 grab holds the keyboard (F12 is down), keys typed would go to
//     the grab, not to the application. They wait in order and are typed the moment F12
//     comes up, behind any that slipped into the grab in the meantime.
//   - Caps Lock, Num Lock, a locked layout group and latched modifiers are set aside while
//     the keys go out, and modifier keys the user holds (Shift, Ctrl, Alt) are let up for
//     that time; then everything is put back as it was.
//   - A spare keycode gets a new character only once the application has surely read the
//     old one; until then the characters after it wait.

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "platform/desktop.h"
#include "platform/key_text.h"

class QTimer;
struct _XDisplay;

namespace Platform::X11 {

class Connection;
class RootKeyGrab;

class XTestDesktop : public Desktop
{
public:
    // grab: the desktop's function-key grab, whose held key typing waits for (may be null).
    explicit XTestDesktop(RootKeyGrab* grab = nullptr);
    ~XTestDesktop() override;

    void SendKeys(const QString& keyText) override;
    void Beep() override;
    QDateTime Now() override;

    // Receiving applications look a keycode up when they get around to its event, which
    // may be well after we typed it; a spare keycode keeps its character for this long
    // after its last use, and is unbound when nothing was typed for this long.
    static constexpr int UnbindDelayMs = 1000;

private:
    // Where a keysym sits: the keycode and the shift level (bit 0 Shift, bit 1 third level).
    struct Key
    {
        unsigned keycode = 0;
        int level = 0;
    };
    struct Binding
    {
        unsigned keycode;
        unsigned long keysym;
        qint64 usedAt; // on m_clock
    };
    // The user's modifier state, set aside while keys go out.
    struct UserModifiers
    {
        unsigned locked = 0;
        unsigned latched = 0;
        int lockedGroup = 0;
        std::vector<unsigned> heldKeys;
    };
    struct ModifierKey
    {
        unsigned keycode;
        unsigned mask;
    };

    _XDisplay* display();
    void open();
    void readPendingEvents(_XDisplay* display);
    void loadKeymap(_XDisplay* display);
    std::optional<Key> keyFor(unsigned long keysym) const;
    // A spare keycode bound to keysym; nullopt with waitMs > 0 when every spare keycode
    // was used too recently to be bound again yet.
    std::optional<Key> bindSpare(_XDisplay* display, unsigned long keysym, qint64& waitMs);
    void press(_XDisplay* display, Key key);
    const UserModifiers& userModifiers(_XDisplay* display);
    void setModifiersAside(_XDisplay* display, const UserModifiers& modifiers);
    void putModifiersBack(_XDisplay* display, const UserModifiers& modifiers);
    void typeQueued();
    void typeLater(int delayMs);
    void retypeCaught(const std::vector<unsigned long>& keysyms);
    void scheduleUnbind();
    void unbindAll();

    RootKeyGrab* m_grab = nullptr;
    std::deque<KeyText::Stroke> m_queue; // waiting for F12 to come up or for a keycode
    QPointer<QTimer> m_typingTimer;
    QElapsedTimer m_clock;
    std::vector<ModifierKey> m_modifierKeys;      // without the lock keys
    std::optional<UserModifiers> m_userModifiers; // as read in this turn of the event loop
    std::unique_ptr<Connection> m_connection;
    bool m_canType = false;
    bool m_keymapStale = true;
    int m_xkbEventBase = -1;
    QHash<unsigned long, Key> m_keys; // the lowest level wins, then the lowest keycode
    std::vector<unsigned> m_spareKeycodes;
    std::vector<Binding> m_bindings; // least recently used first
    unsigned m_shiftKeycode = 0;
    unsigned m_level3Keycode = 0;
    QPointer<QTimer> m_unbindTimer;
};

} // namespace Platform::X11
