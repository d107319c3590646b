// The Windows keyboard hook, typing and registry settings layers at work in a real Windows
// process: tests/windows/win32_layers.cpp built with the MinGW cross compiler and run by
// wine on a private Xvfb, with a wine prefix of the build tree's own.

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include "support/xvfb_server.h"

namespace {

// Debian's wine64 package keeps its programs out of PATH.
QString findTool(const QString& name)
{
    QStringList folders = qEnvironmentVariable("PATH").split(u':', Qt::SkipEmptyParts);
    return QStandardPaths::findExecutable(name, folders << "/usr/lib/wine");
}

} // namespace

class TestWindowsLayers : public QObject
{
    Q_OBJECT

private slots:
    void hookTypingAndSettingsUnderWine()
    {
        const QString wine = findTool("wine64");
        const QString wineserver = findTool("wineserver");
        const QString compiler = findTool("x86_64-w64-mingw32-g++");
        if (wine.isEmpty() || wineserver.isEmpty() || compiler.isEmpty()) {
            const char* why = "needs wine64 and the MinGW cross compiler (tools/install-deps.sh "
                              "windows installs them)";
            if (qEnvironmentVariable("CI") == "true")
                QFAIL(why);
            QSKIP(why);
        }

        const QString work = QDir::current().absoluteFilePath("windows-layers");
        QVERIFY(QDir().mkpath(work));
        const QString program = work + "/win32_layers.exe";
        const QString src = QUORVANE_SOURCE_DIR "/src";
        QStringList arguments{"-std=c++20", "-Wall", "-Wextra", "-Werror", "-O1",
                              // No MinGW runtime DLLs to find under wine.
                              "-static", "-I" + src, "-o", program,
                              QUORVANE_SOURCE_DIR "/tests/windows/win32_layers.cpp",
                              src + "/platform/key_text.cpp"};
        for (const QFileInfo& file : QDir(src + "/platform/win32", "*.cpp").entryInfoList())
            arguments << file.filePath();
        arguments << "-luser32"
                  << "-ladvapi32";
        QProcess build;
        build.setProcessChannelMode(QProcess::MergedChannels);
        build.start(compiler, arguments);
        QVERIFY2(build.waitForFinished(240000) && build.exitCode() == 0,
                 build.readAll().constData());

        XvfbServer xvfb;
        if (!xvfb.isRunning())
            QFAIL(qPrintable(xvfb.errorText()));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", xvfb.display());
        environment.insert("WINEPREFIX", work + "/prefix");
        environment.insert("WINEDEBUG", "-all");
        // No offers to install .NET or a web engine into a fresh prefix.
        environment.insert("WINEDLLOVERRIDES", "mscoree,mshtml=");
        QProcess run;
        run.setProcessEnvironment(environment);
        // The first run also creates the prefix, the registry included.
        run.start(wine, {program});
        const bool finished = run.waitForFinished(180000);
        const QByteArray output = run.readAllStandardOutput();

        // The prefix's server and its programs end with the test; other prefixes' stay.
        QProcess stop;
        stop.setProcessEnvironment(environment);
        stop.start(wineserver, {"-k"});
        stop.waitForFinished(30000);
        QVERIFY2(finished, "the Windows program did not end");
        QVERIFY2(run.exitCode() == 0, output.constData());
    }
};

QTEST_GUILESS_MAIN(TestWindowsLayers)
#include "tst_windows_layers.moc"
