// The program's Win32 layers at work in a Windows process (run under wine by
// tst_windows_layers): the settings store in the registry, the F12 hook and typing into an
// edit control. Prints one line per failed check and exits with 1 when there was one.

#include <cstdio>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/win32/keyhook_win32.h"
#include "platform/win32/keystrokes_win32.h"
#include "platform/win32/settings_registry_win32.h"

namespace {

int g_failures = 0;

void check(bool ok, const char* what, const std::wstring& seen = {})
{
    if (ok)
        return;
    ++g_failures;
    std::printf("FAIL: %s", what);
    if (!seen.empty()) {
        std::printf(", seen:");
        for (wchar_t c : seen)
            std::printf(c >= 0x20 && c < 0x7F ? " %c" : " U+%04X", unsigned(c));
    }
    std::printf("\n");
    std::fflush(stdout);
}

// Runs the thread's messages, where the hook and the hooked key's procedure are called,
// until done() holds or five seconds have passed.
template <typename Condition> bool pumpUntil(Condition done)
{
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(deadline - now), QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

const wchar_t Application[] = L"Veltrano Quorvane for IP and COM";

void checkSettings()
{
    // Longer than a first guess at the buffer, with a character beyond Latin-1's ASCII.
    const std::wstring id = L"Waage \u00b5 " + std::wstring(300, L'x');
    check(Win32::SaveSetting(Application, L"Channels", L"Ch-1_Id", id), "SaveSetting refused");

    wchar_t stored[400] = {};
    DWORD type = 0;
    DWORD bytes = sizeof stored;
    const LSTATUS status = RegGetValueW(
        HKEY_CURRENT_USER,
        L"Software\\VB and VBA Program Settings\\Veltrano Quorvane for IP and COM\\Channels",
        L"Ch-1_Id", RRF_RT_ANY | RRF_NOEXPAND, &type, stored, &bytes);
    check(status == ERROR_SUCCESS && type == REG_SZ && stored == id,
          "the value is not a REG_SZ under the user's VB and VBA Program Settings", stored);

    // Section and key names compare without regard to case.
    check(Win32::GetSetting(Application, L"CHANNELS", L"ch-1_id") == id,
          "GetSetting did not read the value back");
    check(!Win32::GetSetting(Application, L"Channels", L"Ch-2_Id"), "a missing key was found");
    check(!Win32::GetSetting(Application, L"Nowhere", L"Ch-1_Id"), "a missing section was found");
}

std::vector<int> g_hookedMessages; // key messages the hook procedure got, in order
unsigned g_editF12Messages = 0;    // F12 messages that reached the edit control anyway
WNDPROC g_editProcedure = nullptr;

LRESULT CALLBACK watchedEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if ((message == WM_KEYDOWN || message == WM_KEYUP) && wParam == VK_F12)
        ++g_editF12Messages;
    return CallWindowProcW(g_editProcedure, window, message, wParam, lParam);
}

void sendKey(WORD vk, bool up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
}

void checkHookAndTyping()
{
    HWND frame = CreateWindowExW(0, L"STATIC", L"Balance readings", WS_OVERLAPPEDWINDOW, 0, 0, 400,
                                 300, nullptr, nullptr, nullptr, nullptr);
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 400,
                                300, frame, nullptr, nullptr, nullptr);
    g_editProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(watchedEditProc)));
    ShowWindow(frame, SW_SHOW);
    SetForegroundWindow(frame);
    SetFocus(edit);
    check(pumpUntil([&] { return GetFocus() == edit; }), "the edit control did not get the focus");

    const std::uintptr_t hook =
        Win32::InstallKeyboardHook(VK_F12, [](int nCode, int wParam, int vkCode) {
            if (nCode == HC_ACTION && vkCode == VK_F12)
                g_hookedMessages.push_back(wParam);
            return 1;
        });
    check(hook != 0, "the keyboard hook was refused");
    check(Win32::InstallKeyboardHook(VK_F12, [](int, int, int) { return 1; }) == 0,
          "a second hook was installed over the first");

    // F12 pressed and let go, then with Alt held: the hook takes every message of the key.
    sendKey(VK_F12, false);
    sendKey(VK_F12, true);
    sendKey(VK_MENU, false);
    sendKey(VK_F12, false);
    sendKey(VK_F12, true);
    sendKey(VK_MENU, true);
    const std::vector<int> expected{WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP};
    check(pumpUntil([&] { return g_hookedMessages.size() >= expected.size(); }) &&
              g_hookedMessages == expected,
          "the hook did not report F12's down and up, plain and with Alt");

    // A reading as channel 1 types it, with the hook still watching F12: the other keys
    // pass it untouched.
    Win32::SendKeyText(U"N +  12.50 g{TAB}\u00b5g {(}net{)}{ENTER}");
    const std::wstring typed = L"N +  12.50 g\t\u00b5g (net)\r\n";
    wchar_t text[200] = {};
    const bool arrived = pumpUntil([&] {
        GetWindowTextW(edit, text, 200);
        return std::wstring(text).size() >= typed.size();
    });
    check(arrived && text == typed, "the edit control did not get the reading exactly", text);
    check(g_editF12Messages == 0, "F12 reached the edit control");

    Win32::RemoveKeyboardHook(hook);
    DestroyWindow(frame);
}

} // namespace

int main()
{
    checkSettings();
    checkHookAndTyping();
    std::printf("%d failed\n", g_failures);
    return g_failures ? 1 : 0;
}
