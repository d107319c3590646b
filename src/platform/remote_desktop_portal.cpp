#include "platform/session_backends.h"

namespace Platform::Portal {

std::unique_ptr<Desktop> OpenRemoteDesktop()
{
    return nullptr;
}

std::unique_ptr<KeyGrab> OpenGlobalShortcuts()
{
    return nullptr;
}

} // namespace Platform::Portal
