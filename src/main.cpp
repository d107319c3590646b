#include <QApplication>
#include <cstdio>
#include <cstring>
#include <optional>

#include "about/frmAbout.h"
#include "platform/end_signals.h"
#include "platform/message_log.h"
#include "platform/settings_store.h"
#include "shell/frmMDIMain.h"
#include "shell/module_data.h"

namespace {

QString versionLine()
{
    return Globals::AppTitle + u' ' + frmAbout::VersionNumber();
}

// Everything is set up in the program's menus; its command line answers only these two
// questions, asked from a terminal, and is otherwise not read at all.
std::optional<int> answerCommandLine(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", qUtf8Printable(versionLine()));
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf(
                "Usage: quorvane [--help | --version]\n\n"
                "%s\n"
                "collects the readings of up to 50 laboratory balances on serial ports and TCP\n"
                "serial servers: one window per balance, log files, the data request (also with\n"
                "F12 from any application), and the first balance's readings typed into the\n"
                "focused application. It is set up from its menus and needs a graphical session\n"
                "(X11 or XWayland).\n\n"
                "Settings file (edit it only while the program is closed):\n  %s\n"
                "Its section [Ports] names the device of each serial port number, for example\n"
                "  COM1=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0\n"
                "Serial devices need membership in the dialout group.\n",
                qUtf8Printable(versionLine()), qUtf8Printable(SettingsStore::StoreLocation()));
            return 0;
        }
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[])
{
    if (const std::optional<int> status = answerCommandLine(argc, argv))
        return *status;

    Platform::InstallMessageLog();
    // Qt takes options from the command line too; it gets none, only the program's name.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    Platform::DisplayReached();
    QApplication::setApplicationName(Globals::AppTitle);
    QApplication::setApplicationVersion(frmAbout::VersionNumber());
    // Lets the desktop match the windows to the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.veltrano.quorvane"));

    frmMDIMain main;
    Platform::WatchEndSignals(&main, [&main] { main.EndWithoutQuestion(); });
    main.MDIForm_Load();
    main.show();
    return QApplication::exec();
}
