// F12 and a second start on desktops where the program cannot take the key itself: the
// running program on a private runtime folder, `quorvane --request` and `quorvane` run as
// the user's desktop would run them; and which mechanisms each kind of session gets.

#include <QAction>
#include <QApplication>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "comm/channel_connections.h"
#include "platform/backend_choice.h"
#include "platform/local_requests.h"
#include "shell/frmMDIMain.h"
#include "shell/module_data.h"
#include "support/child_process.h"
#include "support/loopback_balance.h"
#include "support/scripted_prompts.h"

using namespace Channel_Window;
using Platform::FunctionKeyBackend;
using Platform::TypingBackend;

namespace {

struct StubDesktop : Platform::Desktop
{
    void SendKeys(const QString&) override {}
    void Beep() override {}
    QDateTime Now() override { return {}; }
};
struct StubGrab : Platform::KeyGrab
{
    quintptr Install(int, Platform::HookProcedure) override { return 1; }
    void Remove(quintptr) override {}
};

} // namespace

class tst_LocalRequests : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runtime;

    // Runs the program as the desktop would, while this one keeps answering: the exit status.
    int runProgram(const QStringList& args)
    {
        QProcess process;
        process.start(QUORVANE_BIN_DIR "/quorvane", args);
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000))
            StopChildProcess(process);
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

private slots:
    // A sway session (no virtual keyboard here: no compositor), and nothing shared with
    // other tests or with the user's own running copy.
    void initTestCase()
    {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
        qputenv("XDG_SESSION_TYPE", "wayland");
        qputenv("XDG_CURRENT_DESKTOP", "sway");
        for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
            qunsetenv(name);
    }

    // First: once a request came in, the program no longer tells how to bind the key.
    void choice_data()
    {
        QTest::addColumn<QStringList>("env");
        QTest::addColumn<QString>("offered"); // rd: remote desktop portal, vk, gs: shortcuts
        QTest::addColumn<TypingBackend>("typing");
        QTest::addColumn<FunctionKeyBackend>("key");
        QTest::addColumn<QString>("told"); // what the user reads, in part

        QTest::newRow("X11") << QStringList{"DISPLAY=:0", "XDG_SESSION_TYPE=x11"} << "rd vk gs"
                             << TypingBackend::XTest << FunctionKeyBackend::X11Grab << "";
        const QStringList gnome{"WAYLAND_DISPLAY=wayland-0", "XDG_CURRENT_DESKTOP=ubuntu:GNOME"};
        QTest::newRow("GNOME 48") << gnome << "rd vk gs" << TypingBackend::RemoteDesktopPortal
                                  << FunctionKeyBackend::GlobalShortcutsPortal << "";
        QTest::newRow("GNOME 46") << gnome << "rd" << TypingBackend::RemoteDesktopPortal
                                  << FunctionKeyBackend::RequestCommand
                                  << "custom-keybinding:/org/gnome/";
        QTest::newRow("sway") << QStringList{"XDG_SESSION_TYPE=wayland", "XDG_CURRENT_DESKTOP=sway"}
                              << "vk" << TypingBackend::VirtualKeyboard
                              << FunctionKeyBackend::RequestCommand
                              << "bindsym F12 exec quorvane --request";
        QTest::newRow("Hyprland") << QStringList{"WAYLAND_DISPLAY=wayland-1",
                                                 "XDG_CURRENT_DESKTOP=Hyprland"}
                                  << "vk gs" << TypingBackend::VirtualKeyboard
                                  << FunctionKeyBackend::GlobalShortcutsPortal << "";
        QTest::newRow("Plasma without its portal")
            << QStringList{"WAYLAND_DISPLAY=wayland-0", "XDG_CURRENT_DESKTOP=KDE"} << ""
            << TypingBackend::None << FunctionKeyBackend::RequestCommand
            << "KDE on Wayland: it offers neither";
    }
    void choice()
    {
        QFETCH(QStringList, env);
        QFETCH(QString, offered);
        QProcessEnvironment environment;
        for (const QString& pair : env)
            environment.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
        Platform::SessionMechanisms mechanisms;
        mechanisms.remoteDesktop = [&]() -> std::unique_ptr<Platform::Desktop> {
            return offered.contains("rd") ? std::make_unique<StubDesktop>() : nullptr;
        };
        mechanisms.virtualKeyboard = [&]() -> std::unique_ptr<Platform::Desktop> {
            return offered.contains("vk") ? std::make_unique<StubDesktop>() : nullptr;
        };
        mechanisms.globalShortcuts = [&]() -> std::unique_ptr<Platform::KeyGrab> {
            return offered.contains("gs") ? std::make_unique<StubGrab>() : nullptr;
        };
        const Platform::BackendChoice choice = Platform::ChooseBackends(environment, mechanisms);
        QTEST(choice.typing, "typing");
        QTEST(choice.functionKey, "key");
        const QString shown = choice.desktop->CannotType() + choice.keyGrab->ShortcutAdvice();
        QFETCH(QString, told);
        QVERIFY2(told.isEmpty() ? shown.isEmpty() : shown.contains(told), qPrintable(shown));
    }

    // F12 mode on: the bound command starts the data request, and the answer lands in
    // channel 1's window; a second start brings this window forward and ends.
    void requestAndSecondStart_reachTheRunningProgram()
    {
        ScriptedPrompts prompts;
        LoopbackBalance balance;
        frmMDIMain main;
        main.MDIForm_Load();
        balance.becomeChannel1();
        main.show();
        Platform::LocalRequests::Server server;
        QVERIFY2(server.listen(), qPrintable(server.errorString()));
        server.setMainWindow(&main);
        QTRY_VERIFY_WITH_TIMEOUT(Communication_HW::IsChannelConnected(1), 10000);

        QCOMPARE(runProgram({"--request"}), 0); // F12 mode off: ignored
        main.mnuF12toStart_Stop->trigger();
        QCOMPARE(prompts.boxes.size(), 3);
        QCOMPARE(prompts.boxes[0].prompt, "Start/Stop Transfer with Function Key F12");
        QVERIFY(prompts.boxes[1].prompt.contains("sway on Wayland"));
        QVERIFY(prompts.boxes[2].prompt.endsWith("bindsym F12 exec quorvane --request"));
        QCOMPARE(balance.received, QByteArray());
        QCOMPARE(runProgram({"--request"}), 0);
        QTRY_COMPARE(balance.received, QByteArray("PRT\r\n"));
        balance.links.value(0)->write("N     +12.34 g\r\n");
        QTRY_VERIFY(ExistingChannelWindow(1)->Text().contains("+12.34 g"));

        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &other);
        QCOMPARE(runProgram({}), 0);
        QTRY_COMPARE(QApplication::activeWindow(), &main);
        QCOMPARE(prompts.boxes.size(), 3);

        // The desktop takes back what it granted: each mode goes off with a box, once.
        main.mnuToCursor->trigger();
        QCOMPARE(prompts.boxes.size(), 3); // said already
        Platform::ReportBackendFailure(Platform::BackendFeature::Typing, "session closed");
        Platform::ReportBackendFailure(Platform::BackendFeature::FunctionKey, "session closed");
        QTRY_COMPARE(prompts.boxes.size(), 5);
        QVERIFY(prompts.boxes[3].prompt.contains("session closed"));
        QCOMPARE(prompts.boxes[4].prompt, "Error:\r\nFunction Key F12 could not hooked!");
        QVERIFY(!main.mnuToCursor->isChecked() && !main.mnuF12toStart_Stop->isChecked());
        QCOMPARE(runProgram({"--request"}), 0);
        balance.links.value(0)->write("N     +56.78 g\r\n"); // shown, no request went out
        QTRY_VERIFY(ExistingChannelWindow(1)->Text().contains("+56.78 g"));
        QCOMPARE(balance.received, QByteArray("PRT\r\n"));
    }

    // A copy killed with SIGKILL leaves its socket behind; the next start takes it over.
    void staleSocket_isTakenOver()
    {
        QProcess killed;
        killed.start(QUORVANE_BIN_DIR "/quorvane");
        QTRY_VERIFY_WITH_TIMEOUT(
            [] {
                QLocalSocket probe;
                probe.connectToServer(Platform::LocalRequests::SocketPath());
                return probe.waitForConnected(100);
            }(),
            20000);
        killed.kill();
        QVERIFY(killed.waitForFinished());
        QVERIFY(QFile::exists(Platform::LocalRequests::SocketPath()));
        QCOMPARE(runProgram({"--request"}), 1);
        Platform::LocalRequests::Server server;
        QVERIFY2(server.listen(), qPrintable(server.errorString()));
        QCOMPARE(runProgram({"--request"}), 0);
    }
};

QTEST_MAIN(tst_LocalRequests)
#include "tst_local_requests.moc"
