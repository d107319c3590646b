#include "platform/virtual_keymap_wayland.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string_view>
#include <utility>

#include <xkbcommon/xkbcommon.h>

namespace Platform::Wayland {
namespace {

// XKB key codes are evdev key codes plus 8, and X11 applications on XWayland take no key
// code above 255.
constexpr uint32_t EvdevOffset = 8;
constexpr uint32_t HighestKey = 255 - EvdevOffset;

// Enter, Tab and Left by evdev key code, and the unshifted characters of a US keyboard's
// rows, each row from the key code of its first key.
constexpr std::pair<uint32_t, uint32_t> NamedKeys[] = {
    {XKB_KEY_Return, 28}, {XKB_KEY_Tab, 15}, {XKB_KEY_Left, 105}};
constexpr std::pair<std::string_view, uint32_t> UsRows[] = {{"1234567890-=", 2},
                                                            {"qwertyuiop[]", 16},
                                                            {"asdfghjkl;'`", 30},
                                                            {"\\zxcvbnm,./", 43},
                                                            {" ", 57}};

// Keys never bound to a character, although no US character sits there: Escape,
// Backspace and Delete, modifiers, lock keys, power and sleep. A compositor or a desktop
// service may act on their key codes whatever the keymap says.
constexpr uint32_t ReservedKeys[] = {1,  14,  29,  42,  54,  56,  58,  69,  70,  97,
                                     99, 100, 111, 116, 125, 126, 127, 142, 143, 205};

// Bound from the start: the rest of ASCII, degree and micro (units on balances' readings).
bool boundFromStart(uint32_t keysym)
{
    return (keysym > 0x20 && keysym < 0x7F) || keysym == XKB_KEY_degree || keysym == XKB_KEY_mu;
}

struct KeymapDeleter
{
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};

} // namespace

VirtualKeymap::VirtualKeymap()
{
    std::vector<bool> taken(HighestKey + 1, false);
    const auto fix = [&](uint32_t keysym, uint32_t key) {
        m_fixed.emplace(keysym, key);
        taken[key] = true;
    };
    for (const auto& [keysym, key] : NamedKeys)
        fix(keysym, key);
    for (const auto& [characters, first] : UsRows) {
        for (size_t i = 0; i < characters.size(); ++i)
            fix(uint32_t(characters[i]), first + uint32_t(i));
    }
    for (const uint32_t key : ReservedKeys)
        taken[key] = true;
    for (uint32_t key = 1; key <= HighestKey; ++key) {
        if (!taken[key])
            m_freeKeys.push_back(key);
    }
    constexpr qint64 LongAgo = std::numeric_limits<qint64>::min() / 2;
    for (uint32_t keysym = 0x21; keysym <= 0xFF; ++keysym) {
        if (boundFromStart(keysym) && !m_fixed.contains(keysym)) {
            m_bindings.push_back({m_freeKeys.back(), keysym, LongAgo});
            m_freeKeys.pop_back();
        }
    }
}

uint32_t VirtualKeymap::keysymFor(const KeyText::Stroke& stroke)
{
    switch (stroke.key) {
    case KeyText::Key::Enter:
        return XKB_KEY_Return;
    case KeyText::Key::Tab:
        return XKB_KEY_Tab;
    case KeyText::Key::Left:
        return XKB_KEY_Left;
    case KeyText::Key::Character:
        break;
    }
    return xkb_utf32_to_keysym(stroke.character);
}

std::optional<uint32_t> VirtualKeymap::keyFor(uint32_t keysym) const
{
    if (const auto fixed = m_fixed.find(keysym); fixed != m_fixed.end())
        return fixed->second;
    const auto binding = std::find_if(m_bindings.begin(), m_bindings.end(),
                                      [&](const Binding& b) { return b.keysym == keysym; });
    if (binding != m_bindings.end())
        return binding->key;
    return std::nullopt;
}

std::optional<uint32_t> VirtualKeymap::bind(uint32_t keysym, qint64 nowMs, qint64& waitMs)
{
    uint32_t key = 0;
    if (!m_freeKeys.empty()) {
        key = m_freeKeys.back();
        m_freeKeys.pop_back();
    } else if (!m_bindings.empty()) {
        const qint64 age = nowMs - m_bindings.front().usedAt;
        if (age < ReuseDelayMs) {
            waitMs = ReuseDelayMs - age;
            return std::nullopt;
        }
        key = m_bindings.front().key;
        m_bindings.erase(m_bindings.begin());
    } else {
        return std::nullopt;
    }
    m_bindings.push_back({key, keysym, nowMs});
    m_textStale = true;
    return key;
}

void VirtualKeymap::markUsed(uint32_t key, qint64 nowMs)
{
    const auto binding = std::find_if(m_bindings.begin(), m_bindings.end(),
                                      [&](const Binding& b) { return b.key == key; });
    if (binding == m_bindings.end())
        return;
    Binding used = *binding;
    used.usedAt = nowMs;
    m_bindings.erase(binding);
    m_bindings.push_back(used);
}

// Written with the standard types and interpretations, then compiled and written out again
// by libxkbcommon: that checks it and resolves the includes, so the receiving side needs
// no XKB data files of its own.
const std::string& VirtualKeymap::text()
{
    if (!m_textStale)
        return m_text;
    m_text.clear();
    std::string keycodes, symbols;
    const auto add = [&](uint32_t key, uint32_t keysym) {
        char name[64];
        if (xkb_keysym_get_name(keysym, name, sizeof name) <= 0)
            return;
        const std::string code = std::to_string(key + EvdevOffset);
        keycodes += "<I" + code + "> = " + code + ";\n";
        symbols += "key <I" + code + "> { [ " + name + " ] };\n";
    };
    for (const auto& [keysym, key] : m_fixed)
        add(key, keysym);
    for (const Binding& binding : m_bindings)
        add(binding.key, binding.keysym);
    const std::string source = "xkb_keymap {\n"
                               "xkb_keycodes \"quorvane\" {\nminimum = 8;\nmaximum = 255;\n" +
                               keycodes +
                               "};\n"
                               "xkb_types \"quorvane\" { include \"complete\" };\n"
                               "xkb_compatibility \"quorvane\" { include \"complete\" };\n"
                               "xkb_symbols \"quorvane\" {\n" +
                               symbols + "};\n};\n";

    static xkb_context* const context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    if (!context)
        return m_text;
    const std::unique_ptr<xkb_keymap, KeymapDeleter> keymap(xkb_keymap_new_from_string(
        context, source.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        return m_text;
    char* const compiled = xkb_keymap_get_as_string(keymap.get(), XKB_KEYMAP_FORMAT_TEXT_V1);
    if (!compiled)
        return m_text;
    m_text = compiled;
    std::free(compiled);
    m_textStale = false;
    return m_text;
}

} // namespace Platform::Wayland
