#include "platform/win32/keyhook_win32.h"

#include <windows.h>

namespace Win32 {
namespace {

constexpr UINT WM_HOOKED_KEY = WM_APP + 1;
constexpr char WindowClass[] = "QuorvaneHookedKeys";

HHOOK g_hook = nullptr;
HWND g_window = nullptr; // message-only, receives the swallowed key messages
DWORD g_vkCode = 0;
KeyboardProcedure g_procedure;

LRESULT CALLBACK lowLevelKeyboardProc(int nCode, WPARAM wParam, LPARAM lParam)
{
    // Negative codes must go straight on, untouched.
    if (nCode == HC_ACTION && g_window) {
        const auto* record = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        if (record->vkCode == g_vkCode) {
            PostMessageA(g_window, WM_HOOKED_KEY, wParam, static_cast<LPARAM>(record->vkCode));
            return 1;
        }
    }
    return CallNextHookEx(g_hook, nCode, wParam, lParam);
}

LRESULT CALLBACK hookedKeyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_HOOKED_KEY)
        return DefWindowProcA(window, message, wParam, lParam);
    if (g_hook && g_procedure) {
        // A copy: the procedure may remove the hook while it runs.
        const KeyboardProcedure procedure = g_procedure;
        procedure(HC_ACTION, static_cast<int>(wParam), static_cast<int>(lParam));
    }
    return 0;
}

HWND createHookedKeyWindow()
{
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = hookedKeyWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = WindowClass;
    // Registering again fails harmlessly once the class exists.
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, WindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                           nullptr);
}

} // namespace

std::uintptr_t InstallKeyboardHook(int vkCode, KeyboardProcedure procedure)
{
    if (g_hook || !procedure)
        return 0;
    g_window = createHookedKeyWindow();
    if (!g_window)
        return 0;
    g_vkCode = static_cast<DWORD>(vkCode);
    g_procedure = std::move(procedure);
    g_hook = SetWindowsHookExA(WH_KEYBOARD_LL, lowLevelKeyboardProc, GetModuleHandleA(nullptr), 0);
    if (!g_hook)
        RemoveKeyboardHook(0);
    return reinterpret_cast<std::uintptr_t>(g_hook);
}

void RemoveKeyboardHook(std::uintptr_t handle)
{
    if (g_hook && reinterpret_cast<std::uintptr_t>(g_hook) != handle)
        return;
    if (g_hook)
        UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
    if (g_window)
        DestroyWindow(g_window);
    g_window = nullptr;
    g_procedure = nullptr;
}

} // namespace Win32
