#pragma once
// Typing key texts into the focused window of any application on Windows, with SendInput.
// Characters go as Unicode keystrokes, so they arrive as themselves whatever the keyboard
// layout and without any modifier; ENTER, TAB and LEFT are the real keys. Plain Win32.

#include <string_view>

namespace Win32 {

// Types the key text in one go; returns how many key events Windows took (it may refuse
// them, for example while another desktop or a higher-privileged window is in front).
unsigned SendKeyText(std::u32string_view keyText);

} // namespace Win32
