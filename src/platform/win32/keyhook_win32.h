#pragma once
// The system-wide low-level keyboard hook (WH_KEYBOARD_LL) in plain Win32. Windows calls
// the procedure on the thread that installed the hook, while that thread waits for
// messages, for every key event of every application.

#include <cstdint>
#include <functional>

namespace Win32 {

// Gets the hook code, the key message (WM_KEYDOWN...) and the virtual-key code; returns 1
// to swallow the key, anything else to hand it on to the next hook.
using KeyboardProcedure = std::function<int(int nCode, int wParam, int vkCode)>;

// The hook handle, or 0 when Windows refused it or a hook is installed already (its
// procedure has no way to tell two hooks apart).
std::uintptr_t InstallKeyboardHook(KeyboardProcedure procedure);
void RemoveKeyboardHook(std::uintptr_t handle);

} // namespace Win32
