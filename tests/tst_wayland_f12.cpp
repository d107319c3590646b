// The loop a lab user runs on sway, on a headless sway: F12 bound in sway's configuration
// to `quorvane --request` as the program tells, pressed in another application's window;
// the balance's answer is typed into that window through the compositor's virtual keyboard.

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include "comm/channel_connections.h"
#include "platform/desktop.h"
#include "platform/local_requests.h"
#include "shell/frmMDIMain.h"
#include "support/loopback_balance.h"
#include "support/scripted_prompts.h"
#include "support/sway_session.h"

namespace {

// Latin-1 on the line, as the balance sends it: a TAB, µ and °, and the line end.
const QByteArray Reading = QByteArrayLiteral("N\t+12.345 \xB5g  21.5 \xB0"
                                             "C\r\n");

// A few characters at a time, as a serial line behind a network server delivers them.
void sendInPieces(QTcpSocket* link, qsizetype from)
{
    link->write(Reading.mid(from, 3));
    if (from + 3 < Reading.size())
        QTimer::singleShot(5, link, [=] { sendInPieces(link, from + 3); });
}

} // namespace

class TestWaylandF12 : public QObject
{
    Q_OBJECT

private slots:
    void f12InAnotherApplicationTypesTheAnswerThere()
    {
        SwaySession sway;
        if (!sway.isRunning() && sway.errorText().contains(u"not installed"))
            QSKIP(qPrintable(sway.errorText()));
        QVERIFY2(sway.isRunning(), qPrintable(sway.errorText()));
        if (QStandardPaths::findExecutable(QStringLiteral("wtype")).isEmpty())
            QSKIP("wtype is not installed (tools/install-deps.sh installs it)");

        // A first start: no settings, no unsaved text of an earlier run.
        QTemporaryDir folders;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folders.filePath("config")));
        qputenv("XDG_STATE_HOME", QFile::encodeName(folders.filePath("state")));
        // The program as the session starts it: typing on this compositor, its socket in the
        // session's runtime folder, `quorvane` on the session's PATH.
        qputenv("WAYLAND_DISPLAY", sway.waylandDisplay());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(sway.runtimeDir()));
        qputenv("XDG_CURRENT_DESKTOP", "sway");
        for (const char* name : {"DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
            qunsetenv(name);
        QVERIFY(QFile::copy(QUORVANE_BIN_DIR "/quorvane", sway.runtimeDir() + "/bin/quorvane"));

        ScriptedPrompts prompts;
        LoopbackBalance balance;
        balance.onPiece = [&](const QByteArray&) {
            if (balance.received.endsWith("PRT\r\n"))
                sendInPieces(balance.links.back(), 0);
        };
        // The desktop's mechanisms are picked at start, as the program does.
        Platform::TheDesktop();
        frmMDIMain main;
        main.MDIForm_Load();
        balance.becomeChannel1();
        Platform::LocalRequests::Server server;
        QVERIFY2(server.listen(), qPrintable(server.errorString()));
        // The program runs as root here and the session as nobody: its socket is opened to
        // the session's user as it is to a user's own session.
        if (geteuid() == 0)
            QCOMPARE(chmod(QFile::encodeName(Platform::LocalRequests::SocketPath()), 0666), 0);
        QTRY_VERIFY_WITH_TIMEOUT(Communication_HW::IsChannelConnected(1), 10000);
        QVERIFY(sway.startClient());

        main.mnuToCursor->trigger();
        main.mnuF12toStart_Stop->trigger();
        // The user adds the line the program shows for sway and reloads sway, which puts the
        // keymap of its configuration on every keyboard, the program's too.
        const QString line =
            prompts.boxes.value(prompts.boxes.size() - 1).prompt.section(u'\n', -1);
        QVERIFY2(line.trimmed().startsWith(u"bindsym F12 exec "), qPrintable(line));
        QVERIFY(sway.addConfigLine(line.trimmed()));

        // F12 held for 150 ms in the other application, through a keyboard of its own.
        QProcess keyboard;
        keyboard.start(QStringLiteral("wtype"), {"-P", "F12", "-s", "150", "-p", "F12"});
        QVERIFY(keyboard.waitForFinished(20000) && keyboard.exitCode() == 0);

        // The answer arrives byte for byte, and F12 never reached the application.
        QTRY_COMPARE_WITH_TIMEOUT(sway.typed(), QString::fromLatin1(Reading).remove(u'\n').toUtf8(),
                                  20000);
        QCOMPARE(balance.received, QByteArray("PRT\r\n"));
    }
};

QTEST_MAIN(TestWaylandF12)
#include "tst_wayland_f12.moc"
