#pragma once
// What the program does to the desktop outside its own windows, and the clock it reads:
// typing key texts into the focused window, beeping, and the local date and time.
// The real backend types through XTest (X11) or SendInput (Windows); tests install a
// recording double with a clock they control.

#include <QDateTime>
#include <QString>

namespace Platform {

class Desktop
{
public:
    virtual ~Desktop() = default;
    // Types one key text ("{ENTER}", "{TAB}", "{LEFT}", "{(}", "{)}" or plain characters)
    // into the window that has the keyboard focus, without waiting for it to be processed.
    virtual void SendKeys(const QString& keyText) = 0;
    virtual void Beep() = 0;
    virtual QDateTime Now() = 0;
    // Why typed keys reach no application on this desktop; empty when they do.
    virtual QString CannotType() const { return {}; }
};

Desktop& TheDesktop();
// Installs a backend (not owned); nullptr puts the real one back.
void SetDesktop(Desktop* desktop);

} // namespace Platform
