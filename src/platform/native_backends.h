#pragma once
// The real desktop backends, one implementation file per platform (chosen by the build).

#include "platform/desktop.h"
#include "platform/key_grab.h"

namespace Platform {
Desktop& NativeDesktop();
KeyGrab& NativeKeyGrab();
} // namespace Platform
