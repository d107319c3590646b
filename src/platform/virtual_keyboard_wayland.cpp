#include "platform/session_backends.h"

namespace Platform::Wayland {

std::unique_ptr<Desktop> OpenVirtualKeyboard()
{
    return nullptr;
}

} // namespace Platform::Wayland
