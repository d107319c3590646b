#include "platform/win32/keystrokes_win32.h"

#include <vector>

#include <windows.h>

#include "platform/key_text.h"

namespace Win32 {
namespace {

void addVirtualKey(std::vector<INPUT>& inputs, WORD vk, bool extended)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = extended ? KEYEVENTF_EXTENDEDKEY : 0;
    inputs.push_back(input);
    input.ki.dwFlags |= KEYEVENTF_KEYUP;
    inputs.push_back(input);
}

void addUnit(std::vector<INPUT>& inputs, wchar_t unit)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wScan = static_cast<WORD>(unit);
    input.ki.dwFlags = KEYEVENTF_UNICODE;
    inputs.push_back(input);
    input.ki.dwFlags |= KEYEVENTF_KEYUP;
    inputs.push_back(input);
}

// A character beyond the basic plane goes as its two UTF-16 halves; the window joins
// the two WM_CHAR messages again.
void addCharacter(std::vector<INPUT>& inputs, char32_t c)
{
    if (c > 0xFFFF) {
        const char32_t v = c - 0x10000;
        addUnit(inputs, static_cast<wchar_t>(0xD800 + (v >> 10)));
        addUnit(inputs, static_cast<wchar_t>(0xDC00 + (v & 0x3FF)));
        return;
    }
    addUnit(inputs, static_cast<wchar_t>(c));
}

} // namespace

unsigned SendKeyText(std::u32string_view keyText)
{
    std::vector<INPUT> inputs;
    for (const KeyText::Stroke& stroke : KeyText::Parse(keyText)) {
        switch (stroke.key) {
        case KeyText::Key::Enter:
            addVirtualKey(inputs, VK_RETURN, false);
            break;
        case KeyText::Key::Tab:
            addVirtualKey(inputs, VK_TAB, false);
            break;
        case KeyText::Key::Left:
            // The arrow key, not the one on the numeric keypad.
            addVirtualKey(inputs, VK_LEFT, true);
            break;
        case KeyText::Key::Character:
            addCharacter(inputs, stroke.character);
            break;
        }
    }
    if (inputs.empty())
        return 0;
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

} // namespace Win32
