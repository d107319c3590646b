// The program as a desktop user meets it: started without a display or from a terminal,
// ended while it sends a file, and installed from its .deb, started from its menu entry,
// errors in its log.

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <unistd.h>

#include "platform/settings_store.h"
#include "support/child_process.h"
#include "support/loopback_balance.h"
#include "support/xvfb_server.h"

namespace {

const QString AppId = QStringLiteral("com.veltrano.quorvane");

// Runs to the end: the exit status (-1 for a crash) and standard output then error.
std::pair<int, QString> run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(180000))
        StopChildProcess(process);
    return {
        process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError())};
}

} // namespace

class tst_DesktopProgram : public QObject
{
    Q_OBJECT

private slots:
    // The programs started here find a display only where a test puts one into $DISPLAY.
    void initTestCase()
    {
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            qunsetenv(name);
    }

    void commandLineAndDisplay_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output"); // a pattern for standard output, then error
        const QString noDisplay =
            "^quorvane: needs a graphical session \\(X11 or Wayland\\)[^\\n]*\\n$";
        QTest::newRow("no display at all") << QStringList() << QByteArray() << 1 << noDisplay;
        QTest::newRow("display with no server")
            << QStringList() << QByteArray(":31987") << 1 << noDisplay;
        QTest::newRow("version") << QStringList{"-v"} << QByteArray() << 0
                                 << "^Veltrano Quorvane for IP and COM 2\\.0\\.0\\n$";
        // Nothing to ask and a wrong command line: no display is needed to say so.
        QTest::newRow("request, nothing runs")
            << QStringList{"--request"} << QByteArray() << 1
            << "^quorvane: the program is not running \\(nothing listens at [^\\n]*\\)\\n$";
        QTest::newRow("unknown option")
            << QStringList{"--bogus"} << QByteArray() << 2
            << "^quorvane: Unknown option 'bogus'\\.\\n\\nUsage: quorvane .*dialout";
        QTest::newRow("help") << QStringList{"--help"} << QByteArray() << 0
                              << "^Usage: quorvane .*laboratory balances.*--request.*\\n  " +
                                     QRegularExpression::escape(
                                         qEnvironmentVariable("XDG_CONFIG_HOME")) +
                                     "/Veltrano Quorvane for IP and COM\\.ini\\n.*dialout";
    }
    void commandLineAndDisplay()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, display);
        QFETCH(int, status);
        QFETCH(QString, output);
        display.isEmpty() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", display);
        const auto [exit, text] = run(QUORVANE_BIN_DIR "/quorvane", options);
        QCOMPARE(exit, status);
        QVERIFY2(text.contains(
                     QRegularExpression(output, QRegularExpression::DotMatchesEverythingOption)),
                 qPrintable(text));
    }

    // The set-up as an ordinary user meets it: the installed packages are read from the dpkg
    // database, and what is missing comes as the one line to run.
    void installScript_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");
        QTest::newRow("all a build needs") << QStringList() << 0 << QString();
        QTest::newRow("installed") << QStringList{"--check", "dpkg"} << 0 << QString();
        QTest::newRow("not installed")
            << QStringList{"--check", "dpkg", "quorvane-not-packaged"} << 1
            << "Missing packages; install them with:\n"
               "  sudo apt-get install --no-install-recommends quorvane-not-packaged\n";
    }
    void installScript()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, output);
        // As root the script runs as an ordinary user, as a newcomer would run it.
        const QString script = QUORVANE_SOURCE_DIR "/tools/install-deps.sh";
        const auto [exit, text] =
            geteuid() == 0 ? run("runuser", QStringList{"-u", "nobody", "--", script} + args)
                           : run(script, args);
        QCOMPARE(text, output);
        QCOMPARE(exit, status);
    }

    // A file going out to a balance when the user quits or logs out: the process
    // is gone at once and the balance gets nothing more.
    void sendFile_quitOrEndSignal_processGoneBalanceGetsNoMore_data()
    {
        QTest::addColumn<bool>("signal");
        QTest::newRow("File > Quit") << false;
        QTest::newRow("SIGTERM") << true;
    }
    void sendFile_quitOrEndSignal_processGoneBalanceGetsNoMore()
    {
        QFETCH(bool, signal);
        XvfbServer xvfb;
        QVERIFY2(xvfb.isRunning(), qPrintable(xvfb.errorText()));
        qputenv("DISPLAY", xvfb.display());
        QTemporaryDir dir;
        QFile file(dir.filePath("megabyte.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(1 << 20, '7')));
        file.close();
        LoopbackBalance balance;
        SettingsStore::SaveSetting("Channels", "CannelsCount", "1");
        SettingsStore::SaveSetting("Channels", "Ch-1_State", "1");
        SettingsStore::SaveSetting("Channels", "Ch-1_Settings", balance.settings());
        QProcess program;
        program.setWorkingDirectory(dir.path()); // where the file dialog opens
        program.start(QUORVANE_BIN_DIR "/quorvane");
        const auto stop = qScopeGuard([&program] { StopChildProcess(program); });
        QTRY_VERIFY_WITH_TIMEOUT(!balance.links.isEmpty(), 20000);
        const QString window =
            run("xdotool", {"search", "--sync", "--name", "^Veltrano Quorvane for IP and COM$"})
                .second.section('\n', 0, 0);
        // Send > Send File to CH-1, by the keyboard as a user without a mouse would.
        const auto keys = [&window](const QStringList& names) {
            run("xdotool",
                QStringList{"windowfocus", "--sync", window, "key", "--delay", "300"} + names);
        };
        keys({"alt+e", "Down", "Return"});
        run("xdotool", {"search", "--sync", "--name", "^Open File$"});
        run("xdotool", {"type", "--delay", "50", "megabyte.txt"});
        run("xdotool", {"key", "Return"});
        QTRY_VERIFY_WITH_TIMEOUT(balance.received.size() >= 1000, 20000);

        if (signal)
            ::kill(pid_t(program.processId()), SIGTERM);
        else
            keys({"alt+f", "q"});
        QElapsedTimer gone;
        gone.start();
        const qint64 endAt = balance.clock.elapsed();
        QVERIFY(program.waitForFinished(10000));
        QVERIFY2(gone.elapsed() < 2000, qPrintable(QString::number(gone.elapsed())));
        QTRY_COMPARE(balance.links[0]->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(balance.received.size() < (1 << 20));
        QVERIFY2(balance.arrivals.last().first <= endAt + 100,
                 qPrintable(QString::number(balance.arrivals.last().first - endAt)));
    }

    void deb_passesLintian_installsIntoMenu_runsFromEntryWithIconAndLog_removes()
    {
        QTemporaryDir out;
        const auto [packed, packText] =
            run(QUORVANE_CPACK_COMMAND,
                {"--config", QUORVANE_BUILD_DIR "/CPackConfig.cmake", "-B", out.path()});
        QVERIFY2(packed == 0, qPrintable(packText));
        const QString deb = out.filePath(QDir(out.path()).entryList({"*.deb"}).value(0));
        QVERIFY(run("dpkg-deb", {"--field", deb, "Depends"}).second.contains("libqt6serialport6"));
        // Debian's own checks, pedantic ones included; an error or a warning fails.
        const auto [linted, lintText] =
            run("lintian", {"--pedantic", "--fail-on", "error,warning", deb});
        QVERIFY2(linted == 0 && !lintText.contains(QRegularExpression(
                                    "^[EW]: ", QRegularExpression::MultilineOption)),
                 qPrintable(lintText));

        if (geteuid() != 0 || QStandardPaths::findExecutable("apt-get").isEmpty())
            QSKIP("Installing the .deb needs root and apt-get");
        if (run("dpkg-query", {"-W", "quorvane"}).first == 0)
            QSKIP("A quorvane package is installed on this machine already; it is left alone");
        const QStringList apt{"-y", "-q", "-o", "DPkg::Lock::Timeout=300"};
        const auto [added, addText] = run("apt-get", apt + QStringList{"install", deb});
        QVERIFY2(added == 0, qPrintable(addText));
        auto removeAgain = qScopeGuard([&] {
            run("apt-get", apt + QStringList{"purge", "quorvane"});
        });
        const QString icons = "/usr/share/icons/hicolor/",
                      entryFile = "/usr/share/applications/" + AppId + ".desktop";
        QVERIFY(QFile::exists(icons + "scalable/apps/" + AppId + ".svg") &&
                QFile::exists("/usr/share/man/man1/quorvane.1.gz"));
        QCOMPARE(QImage(icons + "48x48/apps/" + AppId + ".png").size(), QSize(48, 48));

        XvfbServer xvfb;
        QVERIFY2(xvfb.isRunning(), qPrintable(xvfb.errorText()));
        qputenv("DISPLAY", xvfb.display());
        QStringList exec = QProcess::splitCommand(
            QSettings(entryFile, QSettings::IniFormat).value("Desktop Entry/Exec").toString());
        QVERIFY(!exec.isEmpty());
        // Channel 1 on a device that is not there: its error box is also written to the log.
        SettingsStore::SaveSetting("Channels", "CannelsCount", "1");
        SettingsStore::SaveSetting("Channels", "Ch-1_State", "1");
        SettingsStore::SaveSetting("Channels", "Ch-1_Settings", "COM  1, 9600,n,8,1,None");
        SettingsStore::SaveSetting("Ports", "COM1", "/dev/ttyGone");
        QProcess program;
        program.start(exec.takeFirst(), exec);
        const QString window =
            run("xdotool", {"search", "--sync", "--name", "^Veltrano Quorvane for IP and COM$"})
                .second.section('\n', 0, 0);
        QVERIFY2(!window.isEmpty(), qPrintable(program.readAllStandardError()));
        QVERIFY(run("xprop", {"-id", window, "_NET_WM_ICON"})
                    .second.contains("_NET_WM_ICON(CARDINAL) = "));
        QString log;
        const QRegularExpression logged(
            "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} quorvane.comm warning: " +
                QRegularExpression::escape("State:  (CH-1, COM  1, 9600,n,8,1,None): MSComm-Open |"
                                           " State: Error | Error: No device /dev/ttyGone"),
            QRegularExpression::MultilineOption);
        QTRY_VERIFY2((log += program.readAllStandardError()).contains(logged), qPrintable(log));
        StopChildProcess(program);
    }
};

QTEST_MAIN(tst_DesktopProgram)
#include "tst_desktop_program.moc"
