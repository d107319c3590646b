// The real desktop on Linux: XTest typing and a root-window key grab, each on its own
// connection to the X server named by $DISPLAY.
#include "platform/native_backends.h"

#include "platform/keygrab_x11.h"
#include "platform/keystrokes_x11.h"

namespace Platform {

namespace {
X11::RootKeyGrab& rootKeyGrab()
{
    static X11::RootKeyGrab grab;
    return grab;
}
} // namespace

// Typing has to know when the grab holds the keyboard.
Desktop& NativeDesktop()
{
    static X11::XTestDesktop desktop(&rootKeyGrab());
    return desktop;
}

KeyGrab& NativeKeyGrab()
{
    return rootKeyGrab();
}

} // namespace Platform
