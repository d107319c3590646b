// The real desktop on Windows: SendInput typing, the low-level keyboard hook and the
// system beep, behind the program's desktop and key grab interfaces.
#include "platform/native_backends.h"

#include "platform/local_requests.h"

#include <string>

#include "platform/win32/keyhook_win32.h"
#include "platform/win32/keystrokes_win32.h"

#include <windows.h>

namespace Platform {
namespace {

class Win32Desktop : public Desktop
{
public:
    void SendKeys(const QString& keyText) override
    {
        const QList<uint> ucs4 = keyText.toUcs4();
        Win32::SendKeyText(std::u32string(ucs4.cbegin(), ucs4.cend()));
    }
    void Beep() override { MessageBeep(MB_OK); }
    QDateTime Now() override { return QDateTime::currentDateTime(); }
};

class Win32KeyGrab : public KeyGrab
{
public:
    quintptr Install(int vkCode, HookProcedure procedure) override
    {
        return Win32::InstallKeyboardHook(vkCode, std::move(procedure));
    }
    void Remove(quintptr handle) override { Win32::RemoveKeyboardHook(handle); }
};

} // namespace

Desktop& NativeDesktop()
{
    static Win32Desktop desktop;
    return desktop;
}

KeyGrab& NativeKeyGrab()
{
    static Win32KeyGrab grab;
    return grab;
}

// A named pipe, per user by its name: pipes are machine-wide.
QString LocalRequests::SocketPath()
{
    return QStringLiteral("quorvane-") + qEnvironmentVariable("USERNAME");
}

} // namespace Platform
