// The real desktop on Linux: XTest typing and a root-window key grab, each on its own
// connection to the X server named by $DISPLAY.
#include "platform/native_backends.h"

#include "platform/keygrab_x11.h"
#include "platform/keystrokes_x11.h"

namespace Platform {

Desktop& NativeDesktop()
{
    static X11::XTestDesktop desktop;
    return desktop;
}

KeyGrab& NativeKeyGrab()
{
    static X11::RootKeyGrab grab;
    return grab;
}

} // namespace Platform
