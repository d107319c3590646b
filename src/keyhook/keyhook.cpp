#include "keyhook/keyhook.h"

#include "keyhook/keyboard_hook.h"
#include "platform/key_grab.h"
#include "platform/user_prompts.h"
#include "shell/module_data.h"

namespace Keyhook {

void InitKeyHook()
{
    HookVKey = VK_F12;
    HookSet = false;
}

void SetKeyHook()
{
    HookVKey = VK_F12;
    if (HookSet) {
        // A second grab would replace the handle of the first, which could then never be
        // given back.
        Platform::MsgBox(
            QStringLiteral("Don't hook WH_KEYBOARD_LL twice or you will be unable to unhook it."),
            Platform::vbOKOnly, Globals::AppTitle);
        return;
    }
    HookHandle = Platform::TheKeyGrab().Install(HookVKey, KeyHookProc);
    HookSet = HookHandle != 0;
}

void RemoveKeyHook()
{
    if (HookSet)
        Platform::TheKeyGrab().Remove(HookHandle);
    HookSet = false;
}

int KeyHookProc(int nCode, int wParam, int vkCode)
{
    if (!HookSet) {
        Platform::MsgBox(QStringLiteral("Hook not set"), Platform::vbOKOnly, Globals::AppTitle);
        return 0;
    }
    if (nCode == HC_ACTION && vkCode == HookVKey) {
        // Only a plain key-down acts (Alt+key arrives as a system key-down); every message
        // of the key is swallowed so that no application sees half of it.
        if (wParam == WM_KEYDOWN && HookClient)
            HookClient->HookAction();
        return 1;
    }
    return 0;
}

} // namespace Keyhook
