#pragma once
// The system-wide low-level keyboard hook (WH_KEYBOARD_LL) in plain Win32. Windows calls
// the hook on the thread that installed it, while that thread waits for messages, for
// every key event of every application.
//
// Windows silently removes a low-level hook whose procedure does not return in time, so
// the hook only takes the watched key away from the applications and returns at once;
// the program's procedure gets the key message afterwards, from the thread's message
// queue, where it may show a message box or send to the balances as long as it likes.

#include <cstdint>
#include <functional>

namespace Win32 {

// Gets the hook code, the key message (WM_KEYDOWN...) and the virtual-key code. Its
// result is not used: every message of the watched key is swallowed.
using KeyboardProcedure = std::function<int(int nCode, int wParam, int vkCode)>;

// Watches vkCode on the whole desktop. Returns the hook handle, or 0 when Windows refused
// it or a hook is installed already (its procedure has no way to tell two hooks apart).
std::uintptr_t InstallKeyboardHook(int vkCode, KeyboardProcedure procedure);
// Key messages still waiting in the queue are dropped with the hook.
void RemoveKeyboardHook(std::uintptr_t handle);

} // namespace Win32
