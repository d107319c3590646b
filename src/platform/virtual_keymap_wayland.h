#pragma once
// The keymap our virtual keyboard types with. Every character has a key of its own on the
// first level, so no modifier is ever pressed and the user's layout plays no part: the
// focused application translates our keys with this keymap, not with the user's.
//
// Enter, Tab, Left and the unshifted characters of a US keyboard sit on the keys a US
// keyboard has them on, so applications that look at the physical key (web forms read
// it as the key's "code") see what they expect. Every other character is bound to a key
// that no ordinary keyboard has, from the top of the key range, when it is first typed.
// The common characters of readings are bound from the start, so that a reading rarely
// changes the keymap.
//
// A key keeps its character for ReuseDelayMs after it was last typed: applications may
// translate a key event well after it was sent (X11 applications on XWayland look the key
// up when they read the event), and a key bound anew too soon would turn keys still
// waiting there into the new character.

#include <QtGlobal>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/key_text.h"

namespace Platform::Wayland {

class VirtualKeymap
{
public:
    VirtualKeymap();

    static constexpr int ReuseDelayMs = 1000;

    // The keysym a stroke types; 0 for a character no keysym stands for.
    static uint32_t keysymFor(const KeyText::Stroke& stroke);

    // The evdev key code that types keysym, if it has one.
    std::optional<uint32_t> keyFor(uint32_t keysym) const;
    // Gives keysym a key of its own; the keymap must be sent again before that key is typed.
    // When every key is taken, the key typed longest ago is bound anew once it has not been
    // typed for ReuseDelayMs; until then waitMs says how long to wait and nullopt comes back.
    std::optional<uint32_t> bind(uint32_t keysym, qint64 nowMs, qint64& waitMs);
    // The key was (or is about to be) typed at nowMs.
    void markUsed(uint32_t key, qint64 nowMs);

    // The keymap in the XKB text format, complete in itself, as compositors and clients
    // expect it; empty when libxkbcommon could not make it. Made again only after a bind:
    // making it reads the standard XKB files, which takes longer than typing a reading.
    const std::string& text();

private:
    struct Binding
    {
        uint32_t key;
        uint32_t keysym;
        qint64 usedAt;
    };

    std::unordered_map<uint32_t, uint32_t> m_fixed; // keysym to key, never bound anew
    std::vector<Binding> m_bindings;                // least recently used first
    std::vector<uint32_t> m_freeKeys;               // the next one is taken from the back
    std::string m_text;
    bool m_textStale = true;
};

} // namespace Platform::Wayland
