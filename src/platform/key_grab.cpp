#include "platform/key_grab.h"
#include "platform/native_backends.h"

namespace Platform {
namespace {
KeyGrab* g_grab = nullptr;
}

KeyGrab& TheKeyGrab()
{
    return g_grab ? *g_grab : NativeKeyGrab();
}

void SetKeyGrab(KeyGrab* grab)
{
    g_grab = grab;
}

} // namespace Platform
