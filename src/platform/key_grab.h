#pragma once
// A desktop-wide grab of one function key. While installed, every press and release of
// the key in any application is taken away from that application and reported to the
// hook procedure on the user-interface thread, in the form of a low-level keyboard hook
// call: nCode 0, the key message (0x100 down, 0x101 up, 0x104/0x105 with Alt held) and
// the virtual-key code.

#include <QString>
#include <QtGlobal>
#include <functional>

namespace Platform {

using HookProcedure = std::function<int(int nCode, int wParam, int vkCode)>;

class KeyGrab
{
public:
    virtual ~KeyGrab() = default;
    // Returns a non-zero handle when the grab is in place, 0 when it failed.
    virtual quintptr Install(int vkCode, HookProcedure procedure) = 0;
    virtual void Remove(quintptr handle) = 0;
    // When the desktop lets no application take the key, what the user adds to its own
    // keyboard settings so that the key reaches the program; empty otherwise.
    virtual QString ShortcutAdvice() const { return {}; }
};

KeyGrab& TheKeyGrab();
// Installs a backend (not owned); nullptr puts the real one back.
void SetKeyGrab(KeyGrab* grab);

} // namespace Platform
