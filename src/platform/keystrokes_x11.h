#pragma once
// The desktop on X11: key texts are typed into whatever window has the input focus as
// XTest key events, on a connection of our own opened at the first keystroke.
//
// Each character is pressed on a key of the current layout, with Shift or the third-level
// shift when the layout puts it there and with no other modifier, so "+", "^", "%" or "{"
// come out as themselves. A character that no key produces (µ, ° or € on many layouts) is
// bound to a spare keycode for as long as typing goes on.

#include <QHash>
#include <QPointer>
#include <memory>
#include <optional>
#include <vector>

#include "platform/desktop.h"

class QTimer;
struct _XDisplay;

namespace Platform::X11 {

class Connection;

class XTestDesktop : public Desktop
{
public:
    XTestDesktop();
    ~XTestDesktop() override;

    void SendKeys(const QString& keyText) override;
    void Beep() override;
    QDateTime Now() override;

    // Receiving applications look a keycode up when they get around to its event, which
    // may be well after we typed it; a spare keycode keeps its character until nothing
    // was typed for this long.
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
    };

    _XDisplay* display();
    void open();
    void readPendingEvents(_XDisplay* display);
    void loadKeymap(_XDisplay* display);
    std::optional<Key> keyFor(unsigned long keysym) const;
    std::optional<Key> bindSpare(_XDisplay* display, unsigned long keysym);
    void press(_XDisplay* display, Key key);
    void scheduleUnbind();
    void unbindAll();

    std::unique_ptr<Connection> m_connection;
    bool m_canType = false;
    bool m_keymapStale = true;
    int m_xkbEventBase = -1;
    QHash<unsigned long, Key> m_keys; // the lowest level wins, then the lowest keycode
    std::vector<unsigned> m_spareKeycodes;
    std::vector<Binding> m_bindings; // oldest first
    unsigned m_shiftKeycode = 0;
    unsigned m_level3Keycode = 0;
    QPointer<QTimer> m_unbindTimer;
};

} // namespace Platform::X11
