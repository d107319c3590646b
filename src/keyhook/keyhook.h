#pragma once
// The desktop-wide F12 hook. While it is installed, F12 pressed in any application calls
// HookClient->HookAction() on the user-interface thread, and the key never reaches that
// application. The grab itself is the platform's (Platform::KeyGrab).

#include <QtGlobal>

class KeyboardHook;

namespace Keyhook {

inline constexpr int WH_KEYBOARD_LL = 13;
inline constexpr int HC_ACTION = 0;
inline constexpr int WM_KEYDOWN = 0x100;
inline constexpr int WM_KEYUP = 0x101;
inline constexpr int WM_SYSKEYDOWN = 0x104;
inline constexpr int WM_SYSKEYUP = 0x105;
inline constexpr int VK_F12 = 123;

inline KeyboardHook* HookClient = nullptr;
inline int HookVKey = 0;
inline bool HookSet = false;
inline quintptr HookHandle = 0;

void InitKeyHook();
void SetKeyHook();
void RemoveKeyHook();
// The hook procedure; returns 1 when the key is swallowed.
int KeyHookProc(int nCode, int wParam, int vkCode);

} // namespace Keyhook
