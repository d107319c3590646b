#include "platform/desktop.h"
#include "platform/native_backends.h"

namespace Platform {
namespace {
Desktop* g_desktop = nullptr;
}

Desktop& TheDesktop()
{
    return g_desktop ? *g_desktop : NativeDesktop();
}

void SetDesktop(Desktop* desktop)
{
    g_desktop = desktop;
}

} // namespace Platform
