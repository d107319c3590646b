#include "platform/xkb_keysyms_unix.h"

#include <xkbcommon/xkbcommon.h>

namespace Platform {

uint32_t XkbKeysymFor(const KeyText::Stroke& stroke)
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

} // namespace Platform
