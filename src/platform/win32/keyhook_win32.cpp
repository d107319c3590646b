#include "platform/win32/keyhook_win32.h"

#include <windows.h>

namespace Win32 {
namespace {

HHOOK g_hook = nullptr;
KeyboardProcedure g_procedure;

LRESULT CALLBACK lowLevelKeyboardProc(int nCode, WPARAM wParam, LPARAM lParam)
{
    // Negative codes must go straight on, untouched.
    if (nCode >= 0 && g_procedure) {
        const auto* record = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        // A copy: the procedure may remove the hook while it runs.
        const KeyboardProcedure procedure = g_procedure;
        if (procedure(nCode, static_cast<int>(wParam), static_cast<int>(record->vkCode)) == 1)
            return 1;
    }
    return CallNextHookEx(g_hook, nCode, wParam, lParam);
}

} // namespace

std::uintptr_t InstallKeyboardHook(KeyboardProcedure procedure)
{
    if (g_hook || !procedure)
        return 0;
    g_procedure = std::move(procedure);
    g_hook = SetWindowsHookExA(WH_KEYBOARD_LL, lowLevelKeyboardProc, GetModuleHandleA(nullptr), 0);
    if (!g_hook)
        g_procedure = nullptr;
    return reinterpret_cast<std::uintptr_t>(g_hook);
}

void RemoveKeyboardHook(std::uintptr_t handle)
{
    if (!g_hook || reinterpret_cast<std::uintptr_t>(g_hook) != handle)
        return;
    UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
    g_procedure = nullptr;
}

} // namespace Win32
