#pragma once
// The keysym of one key stroke, as libxkbcommon names it, for the Wayland mechanisms that
// take keysyms (the desktop portal) or build a keymap of them (the virtual keyboard).

#include <cstdint>

#include "platform/key_text.h"

namespace Platform {

// Where a character has a legacy keysym (EuroSign, Greek_mu) that comes first: users'
// keymaps carry those, and a compositor looks keysyms up there. 0 (NoSymbol) for none.
uint32_t XkbKeysymFor(const KeyText::Stroke& stroke);

} // namespace Platform
