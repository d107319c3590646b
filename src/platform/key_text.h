#pragma once
// The key-text notation shared by every keystroke backend: "{ENTER}", "{TAB}", "{LEFT}"
// name keys, "{(}" and "{)}" are the parentheses, and every other character is typed as
// itself, also "+", "^", "%", "~", "{", "}", "[" and "]": a balance never presses Shift,
// Ctrl or Alt in the user's application. A TAB character is the Tab key, like "{TAB}";
// every other control character (NUL, BS, ESC, DEL, C1) is not typed at all.
// Plain C++ only, so that the Windows backend needs no Qt.

#include <string_view>
#include <vector>

namespace KeyText {

enum class Key { Enter, Tab, Left, Character };

struct Stroke
{
    Key key;
    char32_t character; // for Key::Character
    bool operator==(const Stroke&) const = default;
};

std::vector<Stroke> Parse(std::u32string_view keyText);

} // namespace KeyText
