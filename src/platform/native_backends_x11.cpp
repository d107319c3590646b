// Placeholder X11 backends until the XTest typing and the root-window grab land.
#include "platform/native_backends.h"

#include <QApplication>

namespace Platform {
namespace {
class X11Desktop : public Desktop
{
public:
    void SendKeys(const QString&) override {}
    void Beep() override { QApplication::beep(); }
    QDateTime Now() override { return QDateTime::currentDateTime(); }
};

class X11KeyGrab : public KeyGrab
{
public:
    quintptr Install(int, HookProcedure) override { return 0; }
    void Remove(quintptr) override {}
};
} // namespace

Desktop& NativeDesktop()
{
    static X11Desktop desktop;
    return desktop;
}

KeyGrab& NativeKeyGrab()
{
    static X11KeyGrab grab;
    return grab;
}
} // namespace Platform
