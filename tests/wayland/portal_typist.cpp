// The program's portal backends on their own, for a real desktop session: F12 through the
// GlobalShortcuts portal; every press types the next reading ("R<n> +12.<n> g", then Enter)
// through the RemoteDesktop portal into whatever has the focus. Says on standard output
// what happened ("ready", "pressed <n> <ms since the epoch>", "released <n>",
// "failure <reason>"), one line each.
#include <QApplication>
#include <QDateTime>
#include <cstdio>

#include "platform/session_backends.h"

namespace {
void say(const QString& line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("com.veltrano.quorvane")); // as the program
    Platform::SetBackendFailureHandler([](Platform::BackendFeature, const QString& reason) {
        say(QStringLiteral("failure ") + reason);
    });
    std::unique_ptr<Platform::Desktop> desktop = Platform::Portal::OpenRemoteDesktop();
    std::unique_ptr<Platform::KeyGrab> grab = Platform::Portal::OpenGlobalShortcuts();
    if (!desktop || !grab) {
        say(QStringLiteral("failure no RemoteDesktop or GlobalShortcuts portal"));
        return 1;
    }
    int readings = 0;
    grab->Install(123, [&](int nCode, int wParam, int) {
        if (nCode == 0 && wParam == 0x101)
            say(QStringLiteral("released %1").arg(readings));
        if (nCode != 0 || wParam != 0x100)
            return 1;
        ++readings;
        // Stamped before the keys are handed over, as a reading's arrival would be.
        const qint64 arrival = QDateTime::currentMSecsSinceEpoch();
        for (const QChar c : QStringLiteral("R%1 +12.%2 g").arg(readings).arg(readings * 7))
            desktop->SendKeys(QString(c));
        desktop->SendKeys(QStringLiteral("{ENTER}"));
        say(QStringLiteral("pressed %1 %2").arg(readings).arg(arrival));
        return 1;
    });
    say(QStringLiteral("ready"));
    return application.exec();
}
