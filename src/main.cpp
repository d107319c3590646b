#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <optional>

#include "about/frmAbout.h"
#include "platform/desktop.h"
#include "platform/end_signals.h"
#include "platform/key_grab.h"
#include "platform/local_requests.h"
#include "platform/message_log.h"
#include "platform/settings_store.h"
#include "shell/frmMDIMain.h"
#include "shell/module_data.h"

namespace {

// Exit statuses of the command line besides 0: no program to ask, and a wrong command line.
constexpr int NotRunningStatus = 1;
constexpr int UsageStatus = 2;

QString versionLine()
{
    return Globals::AppTitle + u' ' + frmAbout::VersionNumber();
}

QString usageText()
{
    return QStringLiteral(
               "Usage: quorvane [--request | --help | --version]\n\n"
               "%1\n"
               "collects the readings of up to 50 laboratory balances on serial ports and TCP\n"
               "serial servers: one window per balance, log files, the data request (also with\n"
               "F12 from any application), and the first balance's readings typed into the\n"
               "focused application. It is set up from its menus and needs a graphical session\n"
               "(X11 or Wayland). A second start brings the running program's window forward.\n\n"
               "Options:\n"
               "  --request      F12 for the running program while its F12 mode is on. Where\n"
               "                 the desktop lets no application take F12 (GNOME up to 47,\n"
               "                 sway, other Wayland desktops), bind this command to F12 in\n"
               "                 its keyboard settings; the program shows the line for yours.\n"
               "                 Exits at once: 0 when delivered, 1 when nothing runs.\n"
               "  -h, --help     This text.\n"
               "  -v, --version  The program's name and version.\n\n"
               "Settings file (edit it only while the program is closed):\n  %2\n"
               "Its section [Ports] names the device of each serial port number, for example\n"
               "  COM1=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0\n"
               "Serial devices need membership in the dialout group.\n")
        .arg(versionLine(), SettingsStore::StoreLocation());
}

QString noAnswerText()
{
    return QStringLiteral("quorvane: the running program does not answer at ") +
           Platform::LocalRequests::SocketPath();
}

// F12 for the running program; the answer is the exit status.
int sendRequest(char* argv0)
{
    int qtArgc = 1;
    QCoreApplication app(qtArgc, &argv0);
    using Platform::LocalRequests::Answer;
    const Answer answer =
        Platform::LocalRequests::Send({QStringLiteral("F12 down"), QStringLiteral("F12 up")});
    if (answer == Answer::Done)
        return 0;
    const QString text =
        answer == Answer::NoAnswer
            ? noAnswerText()
            : QStringLiteral("quorvane: the program is not running (nothing listens at %1)")
                  .arg(Platform::LocalRequests::SocketPath());
    std::fprintf(stderr, "%s\n", qUtf8Printable(text));
    return NotRunningStatus;
}

// Everything is set up in the program's menus; the command line only answers questions
// asked from a terminal and carries F12 from a desktop shortcut. Nothing here needs a display.
std::optional<int> answerCommandLine(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, {});
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, {});
    const QCommandLineOption request(QStringLiteral("request"), {});
    parser.addOptions({help, version, request});
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
        const QString error = parser.errorText().isEmpty()
                                  ? QStringLiteral("Unexpected argument '%1'.")
                                        .arg(parser.positionalArguments().value(0))
                                  : parser.errorText();
        std::fprintf(stderr, "quorvane: %s\n\n%s", qUtf8Printable(error),
                     qUtf8Printable(usageText()));
        return UsageStatus;
    }
    if (parser.isSet(help)) {
        std::printf("%s", qUtf8Printable(usageText()));
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s\n", qUtf8Printable(versionLine()));
        return 0;
    }
    if (parser.isSet(request))
        return sendRequest(argv[0]);
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

    // One copy per user: a second start brings the first forward, before it opens a port
    // or a channel's journal of its own.
    using Platform::LocalRequests::Answer;
    const Answer running = Platform::LocalRequests::Send({Platform::LocalRequests::RaiseLine()});
    if (running == Answer::Done)
        return 0;
    if (running == Answer::NoAnswer) {
        qCritical().noquote() << noAnswerText();
        return NotRunningStatus;
    }
    Platform::LocalRequests::Server requests;
    if (!requests.listen())
        qWarning().noquote() << "No second start or quorvane --request can reach this program:"
                             << requests.errorString();
    // The desktop's mechanisms are picked and named in the log now, not at the first key.
    Platform::TheDesktop();
    Platform::TheKeyGrab();

    frmMDIMain main;
    requests.setMainWindow(&main);
    Platform::WatchEndSignals(&main, [&main] { main.EndWithoutQuestion(); });
    main.MDIForm_Load();
    main.show();
    return QApplication::exec();
}
