// How fast readings are typed into another application through the compositor's virtual
// keyboard, on a private headless sway with a terminal (foot) holding the focus that copies
// what it gets to a file:
//   - arrival to last keystroke: from handing one reading to the main window's receive path
//     (ReceiveChannel, as the socket's data event does) to its last byte in the terminal's
//     file (the terminal's own copy through its pty is included);
//   - typing rate: 1000 characters of readings handed over in one piece.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileSystemWatcher>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "platform/native_backends.h"
#include "shell/frmMDIMain.h"
#include "support/sway_session.h"
#include "typing_bench.h"

namespace {

const QString Reading = QStringLiteral("N     +    12.345 \u00b5g\r\n");

// Runs the event loop until the terminal's file holds `size` bytes; false after a long time.
// It wakes on each change of the file, so the time measured is when the last byte came.
bool waitForTyped(SwaySession& sway, QFileSystemWatcher& watcher, qsizetype size)
{
    if (sway.typed().size() >= size)
        return true;
    QEventLoop loop;
    QTimer::singleShot(60000, &loop, [&] { loop.exit(1); });
    QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, &loop, [&] {
        if (sway.typed().size() >= size)
            loop.exit(0);
    });
    return loop.exec() == 0;
}

qsizetype typedSize(const QString& reading)
{
    return QString(reading).remove(u'\n').toUtf8().size();
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const PrivateFolders folders;

    SwaySession sway;
    if (!sway.isRunning()) {
        std::printf("no sway: %s\n", qPrintable(sway.errorText()));
        return 1;
    }
    qputenv("WAYLAND_DISPLAY", sway.waylandDisplay());
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!sway.startClient()) {
        std::printf("no terminal window on %s\n", sway.waylandDisplay().constData());
        return 1;
    }
    QFileSystemWatcher watcher;
    QString file;
    for (const QString& name : QDir(sway.runtimeDir()).entryList({"typed-*"}, QDir::Files))
        file = QDir(sway.runtimeDir()).filePath(name);
    watcher.addPath(file);

    QTcpServer balance;
    frmMDIMain main;
    if (!StartForwardingChannel(balance, main))
        return 1;

    // The first reading also waits for the applications to take the new keyboard.
    qsizetype expected = 0;
    constexpr int Rounds = 200;
    std::vector<double> delays;
    for (int round = 0; round <= Rounds; ++round) {
        // Readings 100 ms apart, as a fast repeated data request brings them: each line after
        // a pause sends the keymap again first.
        QTest::qWait(100);
        QElapsedTimer timer;
        timer.start();
        main.ReceiveChannel(1, Reading);
        expected += typedSize(Reading);
        if (!waitForTyped(sway, watcher, expected)) {
            std::printf("arrival to last keystroke: a reading never reached the terminal\n");
            return 1;
        }
        if (round == 0)
            std::printf("first reading after the program started: %.2f ms\n",
                        timer.nsecsElapsed() / 1e6);
        else
            delays.push_back(timer.nsecsElapsed() / 1e6);
    }
    PrintDelays("arrival to last keystroke (virtual keyboard on sway)", std::move(delays),
                Reading.size());

    QString many;
    while (many.size() < 1000)
        many += Reading;
    many.truncate(1000);
    QElapsedTimer timer;
    timer.start();
    main.ReceiveChannel(1, many);
    expected += typedSize(many);
    if (!waitForTyped(sway, watcher, expected)) {
        std::printf("typing rate: the terminal never got all of it\n");
        return 1;
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    std::printf("typing rate: 1000 characters in one piece, all in the terminal after %.1f ms: "
                "%.0f characters/s\n",
                ms, 1000 / (ms / 1000));
    return 0;
}
