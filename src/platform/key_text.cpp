#include "platform/key_text.h"

namespace KeyText {

std::vector<Stroke> Parse(std::u32string_view keyText)
{
    static constexpr std::u32string_view enter = U"{ENTER}", tab = U"{TAB}", left = U"{LEFT}",
                                         open = U"{(}", close = U"{)}";
    std::vector<Stroke> strokes;
    for (size_t i = 0; i < keyText.size();) {
        const std::u32string_view rest = keyText.substr(i);
        if (rest.starts_with(enter)) {
            strokes.push_back({Key::Enter, 0});
            i += enter.size();
        } else if (rest.starts_with(tab)) {
            strokes.push_back({Key::Tab, 0});
            i += tab.size();
        } else if (rest.starts_with(left)) {
            strokes.push_back({Key::Left, 0});
            i += left.size();
        } else if (rest.starts_with(open) || rest.starts_with(close)) {
            strokes.push_back({Key::Character, rest[1]});
            i += open.size();
        } else {
            const char32_t c = rest[0];
            // A TAB moves to the next field like the key. Every other control character
            // would press a key the balance never meant (Backspace, Escape, Ctrl+letter).
            if (c == U'\t')
                strokes.push_back({Key::Tab, 0});
            else if (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0))
                strokes.push_back({Key::Character, c});
            ++i;
        }
    }
    return strokes;
}

} // namespace KeyText
