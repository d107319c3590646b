// The program as a desktop user meets it: started without a display, asked for its version
// and help, installed under a prefix and from its .deb, then started from its menu entry.

#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

#include "comm/channel_connections.h"
#include "platform/message_log.h"
#include "shell/module_data.h"
#include "support/child_process.h"
#include "support/scripted_prompts.h"
#include "support/xvfb_server.h"

namespace {

const QString AppId = QStringLiteral("com.veltrano.quorvane");

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

// Runs a program to its end; `display` replaces the test's own offscreen platform.
Run run(const QString& program, const QStringList& args, const QByteArray& display = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QString::fromLatin1(name));
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    process.setProcessEnvironment(env);
    process.start(program, args);
    if (!process.waitForFinished(180000))
        StopChildProcess(process);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

// Every file of an installed tree, as paths below its prefix.
QStringList filesUnder(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(root.size());
    files.sort();
    return files;
}

} // namespace

class tst_DesktopProgram : public QObject
{
    Q_OBJECT

    const QString m_program = QStringLiteral(QUORVANE_BIN_DIR "/quorvane");

private slots:
    void startWithoutDisplay_oneLineAndStatus1_data()
    {
        QTest::addColumn<QByteArray>("display");
        QTest::newRow("no display at all") << QByteArray();
        QTest::newRow("display with no server") << QByteArray(":31987");
    }
    void startWithoutDisplay_oneLineAndStatus1()
    {
        QFETCH(QByteArray, display);
        const Run started = run(m_program, {}, display);
        QCOMPARE(started.status, 1);
        QCOMPARE(started.err.count('\n'), 1);
        QVERIFY2(started.err.startsWith("quorvane: needs a graphical session (X11 or XWayland)"),
                 qPrintable(started.err));
    }

    void box_loggedWithTimeAndSubsystem_data()
    {
        QTest::addColumn<bool>("error");
        QTest::addColumn<QString>("logged"); // a pattern; empty: nothing written
        QTest::newRow("connection error") << true
                                          << "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "
                                             "quorvane.comm warning: State: Scale \\(CH-2, \\): "
                                             "Communication HW not defined -Open \\| State: Error$";
        QTest::newRow("question") << false << QString();
    }
    void box_loggedWithTimeAndSubsystem()
    {
        QFETCH(bool, error);
        QFETCH(QString, logged);
        static QStringList lines;
        lines.clear();
        Platform::InstallMessageLog();
        Platform::DisplayReached();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
                lines << qFormatLogMessage(type, context, text);
            });
        ScriptedPrompts prompts;
        Channel_Window::ChannelId[2] = "Scale";
        if (error)
            Communication_HW::ShowChannelHWError(2, "Open");
        else
            Platform::MsgBox("Save data of all Channels ?",
                             Platform::vbYesNoCancel + Platform::vbQuestion);
        qInstallMessageHandler(previous);
        QCOMPARE(prompts.boxes.size(), 1);
        QCOMPARE(lines.size(), logged.isEmpty() ? 0 : 1);
        if (!logged.isEmpty())
            QVERIFY2(QRegularExpression(logged).match(lines[0]).hasMatch(), qPrintable(lines[0]));
    }

    void commandLine_versionAndHelp_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("expected"); // a pattern the whole output matches
        QTest::newRow("version") << "--version"
                                 << "^Veltrano Quorvane for IP and COM 2\\.0\\.0\\n$";
        QTest::newRow("help") << "--help"
                              << "^Usage: quorvane .*laboratory balances.*\\n  " +
                                     QRegularExpression::escape(
                                         qEnvironmentVariable("XDG_CONFIG_HOME")) +
                                     "/Veltrano Quorvane for IP and COM\\.ini\\n.*dialout.*";
    }
    void commandLine_versionAndHelp()
    {
        QFETCH(QString, option);
        QFETCH(QString, expected);
        const Run answered = run(m_program, {option});
        QCOMPARE(answered.status, 0);
        QVERIFY2(QRegularExpression(expected, QRegularExpression::DotMatchesEverythingOption)
                     .match(answered.out)
                     .hasMatch(),
                 qPrintable(answered.out));
    }

    void install_prefixTreeValidates_debHasSameFilesAndRunsFromMenuEntry()
    {
        QTemporaryDir prefix;
        const Run installed = run(QUORVANE_CMAKE_COMMAND,
                                  {"--install", QUORVANE_BUILD_DIR, "--prefix", prefix.path()});
        QVERIFY2(installed.status == 0, qPrintable(installed.err));
        const QStringList files = filesUnder(prefix.path());
        const QString desktopFile = "/share/applications/" + AppId + ".desktop";
        QVERIFY2(files.contains("/bin/quorvane") && files.contains(desktopFile) &&
                     files.contains("/share/man/man1/quorvane.1.gz") &&
                     files.contains("/share/icons/hicolor/scalable/apps/" + AppId + ".svg"),
                 qPrintable(files.join(' ')));
        for (const int size : {16, 48, 256}) {
            const QImage icon(prefix.path() +
                              QStringLiteral("/share/icons/hicolor/%1x%1/apps/").arg(size) + AppId +
                              ".png");
            QCOMPARE(icon.size(), QSize(size, size));
        }
        for (const QStringList& check :
             {QStringList{"desktop-file-validate", prefix.path() + desktopFile},
              QStringList{"appstreamcli", "validate", "--no-net",
                          prefix.path() + "/share/metainfo/" + AppId + ".metainfo.xml"}}) {
            const Run valid = run(check[0], check.mid(1));
            QVERIFY2(valid.status == 0, qPrintable(check[0] + ": " + valid.out + valid.err));
        }

        if (geteuid() != 0 || QStandardPaths::findExecutable("apt-get").isEmpty())
            QSKIP("Installing the .deb needs root and apt-get");
        if (run("dpkg-query", {"-W", "quorvane"}).status == 0)
            QSKIP("A quorvane package is installed on this machine already; it is left alone");
        QTemporaryDir out;
        const Run packed =
            run(QUORVANE_CPACK_COMMAND,
                {"--config", QUORVANE_BUILD_DIR "/CPackConfig.cmake", "-B", out.path()});
        QVERIFY2(packed.status == 0, qPrintable(packed.out + packed.err));
        const QString deb = out.filePath(QDir(out.path()).entryList({"*.deb"}).value(0));
        QStringList packaged =
            run("dpkg-deb", {"--contents", deb}).out.split('\n').filter(QRegularExpression("^-"));
        for (QString& line : packaged)
            line = line.section(' ', -1).mid(QStringLiteral("./usr").size());
        packaged.sort();
        QCOMPARE(packaged, files);
        QVERIFY(run("dpkg-deb", {"--field", deb, "Depends"}).out.contains("libqt6serialport6"));

        const QStringList apt{"-y", "-q", "-o", "DPkg::Lock::Timeout=300"};
        const Run added = run("apt-get", apt + QStringList{"install", deb});
        QVERIFY2(added.status == 0, qPrintable(added.out + added.err));
        auto removeAgain = qScopeGuard([&] {
            run("apt-get", apt + QStringList{"purge", "quorvane"});
        });
        XvfbServer xvfb;
        QVERIFY2(xvfb.isRunning(), qPrintable(xvfb.errorText()));
        const QSettings entry("/usr/share/applications/" + AppId + ".desktop",
                              QSettings::IniFormat);
        QStringList exec = QProcess::splitCommand(entry.value("Desktop Entry/Exec").toString());
        QVERIFY(!exec.isEmpty());
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        env.insert("DISPLAY", QString::fromLatin1(xvfb.display()));
        program.setProcessEnvironment(env);
        program.start(exec.takeFirst(), exec);
        QVERIFY2(program.waitForStarted(), qPrintable(program.errorString()));
        const Run found =
            run("xdotool", {"search", "--sync", "--name", "^Veltrano Quorvane for IP and COM$"},
                xvfb.display());
        const QString window = found.out.section('\n', 0, 0);
        QVERIFY2(!window.isEmpty(), qPrintable(program.readAllStandardError()));
        QVERIFY(run("xprop", {"-id", window, "_NET_WM_ICON"}, xvfb.display())
                    .out.contains("_NET_WM_ICON(CARDINAL) = "));
        StopChildProcess(program);
    }
};

QTEST_MAIN(tst_DesktopProgram)
#include "tst_desktop_program.moc"
