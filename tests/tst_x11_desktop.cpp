// The real X11 desktop against a private Xvfb: key texts typed into another client's
// focused window, the root-window F12 grab driven by xdotool, and the whole road of a
// reading from F12 in that client to its keys typed there.

#include <QAction>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>
#include <utility>

#include "comm/channel_connections.h"
#include "keyhook/keyhook.h"
#include "platform/backend_choice.h"
#include "platform/keygrab_x11.h"
#include "platform/native_backends.h"
#include "shell/frmMDIMain.h"
#include "shell/module_data.h"
#include "support/loopback_balance.h"
#include "support/recording_desktop.h"
#include "support/scripted_prompts.h"
#include "support/x_test_window.h"
#include "support/xvfb_server.h"

namespace {

constexpr int VK_F12 = 123;
constexpr unsigned long XK_mu = 0xB5;
// X modifier masks that typing must never hold: Control, Mod1 (Alt), Mod4 (Super).
constexpr unsigned ForbiddenModifiers = (1u << 2) | (1u << 3) | (1u << 6);

// Runs xdotool on the test's display, as the user pressing keys on the real keyboard.
bool xdotool(const QString& arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments.split(u' '));
    return process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

const QByteArray Reading = QByteArrayLiteral("N     +    12.345 g\r\n");

// The program typing for real on the test display, on the recording desktop's fixed clock.
// The main window, declared last, goes before the doubles it uses.
struct Program
{
    struct TypingDesktop : RecordingDesktop
    {
        void SendKeys(const QString& keys) override { Platform::NativeDesktop().SendKeys(keys); }
    };
    LoopbackBalance balance;
    int requests = 0;
    ScriptedPrompts prompts;
    TypingDesktop desktop;
    QProcess keyboard;
    std::unique_ptr<frmMDIMain> main;

    // The balance answers every "PRT" line with a reading, three characters at a time as a
    // serial line delivers it.
    Program()
    {
        balance.onPiece = [this](const QByteArray&) {
            for (qsizetype end; (end = balance.received.indexOf("PRT\r\n")) >= 0; ++requests) {
                balance.received.remove(0, end + 5);
                send(balance.links.last(), 0);
            }
        };
    }
    static void send(QTcpSocket* socket, int from)
    {
        socket->write(Reading.mid(from, 3));
        if (from + 3 < Reading.size())
            QTimer::singleShot(5, socket, [=] { send(socket, from + 3); });
    }
    ~Program()
    {
        keyboard.waitForFinished(20000);
        Keyhook::RemoveKeyHook();
    }
    // The user holds F12 for 150 ms; returns at once, while the key is down.
    bool pressF12()
    {
        keyboard.waitForFinished(20000);
        keyboard.start(QStringLiteral("xdotool"),
                       {"keydown", "F12", "sleep", "0.15", "keyup", "F12"});
        return keyboard.waitForStarted(20000);
    }
};

} // namespace

class TestX11Desktop : public QObject
{
    Q_OBJECT

    std::unique_ptr<XvfbServer> m_xvfb;
    std::unique_ptr<XTestWindow> m_window;
    QTemporaryDir m_folders; // settings and unsaved text of each program start, kept apart
    quintptr m_grab = 0;

    // Installs the F12 grab; the procedure records each key message (-1 for an unexpected
    // code or key) and swallows the key. cleanup() removes it.
    bool grabF12(QList<int>& messages)
    {
        m_grab = Platform::NativeKeyGrab().Install(VK_F12, [&messages](int n, int w, int vk) {
            messages << (n == 0 && vk == VK_F12 ? w : -1);
            return 1;
        });
        return m_grab != 0;
    }

    // Waits for the sentinel key that xdotool presses after the keys under test.
    bool waitForSentinel()
    {
        return xdotool("key Escape") &&
               QTest::qWaitFor(
                   [&] { return m_window->presses().contains(QStringLiteral("Escape")); }, 10000);
    }

private slots:
    void initTestCase()
    {
        m_xvfb = std::make_unique<XvfbServer>();
        QVERIFY2(m_xvfb->isRunning(), qPrintable(m_xvfb->errorText()));
        qputenv("DISPLAY", m_xvfb->display());
        m_window = std::make_unique<XTestWindow>();
        QVERIFY(m_window->isReady());
    }
    void init()
    {
        qputenv("DISPLAY", m_xvfb->display());
        m_window->takeFocus();
        m_window->clear();
    }
    void cleanup()
    {
        if (m_grab)
            Platform::NativeKeyGrab().Remove(std::exchange(m_grab, 0));
    }
    // user: what the user's keyboard does before the keys are typed, "|", and after.
    void keyTextArrivesInTheFocusedWindow_data()
    {
        QTest::addColumn<QString>("keyText");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("presses"); // none: not compared
        QTest::addColumn<QString>("user");
        const auto row = [](const char* name, const QString& keyText, const QString& text,
                            const QString& presses, const QString& user = {}) {
            QTest::newRow(name) << keyText << text << presses.split(u' ', Qt::SkipEmptyParts)
                                << user;
        };
        row("named keys and a TAB character; LEFT types nothing", "{TAB}\t{ENTER}{LEFT}", "\t\t\r",
            "Tab Tab Return Left");
        row("other control characters, C1 ones too, are not typed",
            QString("\u0001a\u001b\u007fb\b\r\n") + QChar(0) + "\u0085\u009f\u00a0", "ab\u00a0",
            "a b nobreakspace");
        row("unknown, lower-case or unfinished names and a brace before a name are characters",
            "{F12}{tab}{ENTER{{TAB}", "{F12}{tab}{ENTER{\t", "");
        // The layout has unshifted parenthesis keys, which need no Shift; ^ and % are
        // characters, never Ctrl or Alt.
        row("punctuation", "{(}{)}^%{}[]+~", "()^%{}[]+~",
            "parenleft parenright Shift_L asciicircum Shift_L percent Shift_L braceleft Shift_L "
            "braceright bracketleft bracketright Shift_L plus Shift_L asciitilde");
        row("third level, outside Latin-1 and outside the basic plane", "¦€\U0001F600",
            "¦€\U0001F600", "Shift_L ISO_Level3_Shift brokenbar U20AC U0001F600");
        // Far more than there are spare keycodes, each needed again after its keycode went on.
        QString missing = "µ°é£";
        for (char16_t c = 0x100; c < 0x130; ++c)
            missing += QChar(c);
        row("a burst of characters missing from the layout", missing + missing, missing + missing,
            "");
        row("Caps Lock, Num Lock, Shift, Ctrl and Alt of the user", "N  +  12.345 g{ENTER}",
            "N  +  12.345 g\r", "",
            "key Caps_Lock Num_Lock keydown shift keydown ctrl keydown alt|"
            "keyup alt keyup ctrl keyup shift key Caps_Lock Num_Lock");
    }
    void keyTextArrivesInTheFocusedWindow()
    {
        QFETCH(QString, keyText);
        QFETCH(QString, text);
        QFETCH(QStringList, presses);
        QFETCH(QString, user);
        const QStringList before = user.split(u'|');
        if (!user.isEmpty()) {
            QVERIFY(xdotool(before[0]) && waitForSentinel());
            m_window->clear();
        }
        // A character missing from the layout borrows a keycode only while it is typed.
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->keymapHolds(XK_mu), 10000);
        Platform::NativeDesktop().SendKeys(keyText);
        QCOMPARE(m_window->keymapHolds(XK_mu), keyText.contains(u'µ'));
        QTRY_COMPARE_WITH_TIMEOUT(m_window->text(), text, 20000);
        QVERIFY(user.isEmpty() || xdotool(before[1]));
        QVERIFY(waitForSentinel());
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->keymapHolds(XK_mu), 10000);
        QStringList received = m_window->presses();
        received.removeLast();
        if (!presses.isEmpty())
            QCOMPARE(received, presses);
        QCOMPARE(m_window->text().chopped(1), text); // the sentinel Escape composes "\x1b"
        for (const XTestWindow::KeyEvent& event : m_window->events())
            QVERIFY(event.text.isEmpty() || (event.state & ForbiddenModifiers) == 0);
    }
    void grabbedF12ReachesTheProcedureAndNeverTheWindow_data()
    {
        QTest::addColumn<QString>("xdotoolArguments");
        QTest::addColumn<QList<int>>("messages");
        QTest::addColumn<bool>("removedFirst");
        const auto row = [](const char* name, const QString& arguments, const QList<int>& messages,
                            bool removedFirst = false) {
            QTest::newRow(name) << arguments << messages << removedFirst;
        };
        row("plain press gives key-down and key-up", "key F12", {0x100, 0x101});
        row("Alt gives system messages until it is let go",
            "keydown alt key F12 keyup alt key alt+F12", {0x104, 0x105, 0x104, 0x101});
        row("Shift, Ctrl, NumLock and CapsLock make no difference",
            "key shift+F12 ctrl+F12 Num_Lock Caps_Lock F12 Caps_Lock Num_Lock",
            {0x100, 0x101, 0x100, 0x101, 0x100, 0x101});
        row("removed grab lets F12 reach the window again", "key F12", {}, true);
    }
    void grabbedF12ReachesTheProcedureAndNeverTheWindow()
    {
        QFETCH(QString, xdotoolArguments);
        QFETCH(QList<int>, messages);
        QFETCH(bool, removedFirst);
        QList<int> calls;
        QVERIFY(grabF12(calls));
        if (removedFirst)
            cleanup();
        QVERIFY(xdotool(xdotoolArguments));
        QVERIFY(waitForSentinel());
        QTRY_COMPARE(calls, messages);
        QCOMPARE(m_window->presses().contains(QStringLiteral("F12")), removedFirst);
    }
    void heldF12RepeatsKeyDownsWithoutKeyUpsBetween()
    {
        QList<int> calls;
        QVERIFY(grabF12(calls));
        QVERIFY(xdotool("keydown F12"));
        QTRY_VERIFY_WITH_TIMEOUT(calls.count(0x100) >= 3, 10000);
        QVERIFY(xdotool("keyup F12"));
        QTRY_COMPARE(calls.last(), 0x101);
        QCOMPARE(calls.count(0x101), 1);
    }
    // Typed in the instant F12 goes down: before or after the press reaches the grab, the
    // keys arrive once, in order, when F12 comes up.
    void keysTypedAsF12GoesDownArriveAfterItsRelease()
    {
        QList<int> calls;
        QVERIFY(grabF12(calls));
        for (int round = 1; round <= 5; ++round) {
            QVERIFY(m_window->fakeKey("F12", true));
            Platform::NativeDesktop().SendKeys(QStringLiteral("N+12.5µ{ENTER}"));
            QTRY_COMPARE(calls.size(), 2 * round - 1);
            QVERIFY(m_window->fakeKey("F12", false));
            QTRY_COMPARE(m_window->text(), QStringLiteral("N+12.5µ\r").repeated(round));
        }
        QVERIFY(waitForSentinel());
        QVERIFY(!m_window->presses().contains(QStringLiteral("F12")));
    }
    // Typing and the grab on a display that is unusable, or that goes away while they hold
    // it, do nothing and leave typing on the test display working.
    void unusableDisplayIsHarmless_data()
    {
        QTest::addColumn<QByteArray>("display");
        QTest::newRow("no DISPLAY (a pure Wayland session)") << QByteArray();
        QTest::newRow("F12 grabbed by another client") << QByteArrayLiteral("other client");
        QTest::newRow("server going away") << QByteArrayLiteral("going away");
    }
    void unusableDisplayIsHarmless()
    {
        QFETCH(QByteArray, display);
        std::optional<XvfbServer> own;
        std::optional<XTestWindow> otherClient;
        const bool goingAway = display == "going away";
        if (goingAway || display == "other client") {
            QVERIFY2(own.emplace().isRunning(), qPrintable(own->errorText()));
            display = own->display();
        }
        display.isEmpty() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", display);
        if (own && !goingAway)
            QVERIFY(otherClient.emplace().grabKey("F12"));
        const quintptr handle =
            Platform::NativeKeyGrab().Install(VK_F12, [](int, int, int) { return 1; });
        QCOMPARE(handle != 0, goingAway);
        Platform::NativeDesktop().SendKeys(QStringLiteral("µ1"));
        Platform::NativeDesktop().Beep();
        if (goingAway) {
            own->stop();
            auto& grab =
                static_cast<Platform::X11::RootKeyGrab&>(*Platform::NativeDesktopKeyGrab());
            QTRY_VERIFY_WITH_TIMEOUT(!grab.connected(handle), 10000);
            Platform::NativeDesktop().SendKeys(QStringLiteral("µ2"));
            Platform::NativeKeyGrab().Remove(handle);
        }
        qputenv("DISPLAY", m_xvfb->display());
        Platform::NativeDesktop().SendKeys(QStringLiteral("1"));
        QVERIFY(waitForSentinel());
        QCOMPARE(m_window->text(), QStringLiteral("1\x1b"));
    }
    // F12 held in another application starts the data request; the reading, arriving during
    // the hold, is typed there, and F12 never is. With repeating on, a second F12 stops the
    // repeated request, whose answers in between arrive while no key is held.
    void f12InAnotherApplicationTypesTheReadingThere_data()
    {
        QTest::addColumn<QStringList>("clicks"); // menu items switched on besides ToCursor
        QTest::addColumn<bool>("repeat");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("lefts"); // Left presses after the last Return
        const QString reading = "N     +    12.345 g\r";
        QTest::newRow("one request") << QStringList{} << false << reading << 0;
        QTest::newRow("date stamp, TABs, back to where the record began")
            << QStringList{"mnuDateTime", "mnuTABs", "mnuback_left"} << false
            << "12:04:2026 09:41:03\tN\t+    12.345\tg\r" << 3;
        QTest::newRow("repeated request: second F12 stops it, every reading typed")
            << QStringList{} << true << reading << 0;
    }
    void f12InAnotherApplicationTypesTheReadingThere()
    {
        QFETCH(QStringList, clicks);
        QFETCH(bool, repeat);
        QFETCH(QString, text);
        QFETCH(int, lefts);
        Program program;
        const QByteArray folder = QFile::encodeName(m_folders.filePath(QTest::currentDataTag()));
        qputenv("XDG_CONFIG_HOME", folder);
        qputenv("XDG_STATE_HOME", folder);
        Globals::ResetModuleData();
        std::unique_ptr<frmMDIMain>& main = program.main = std::make_unique<frmMDIMain>();
        main->MDIForm_Load();
        using namespace Channel_Window;
        ChannelsCount = 1;
        ChannelState[1] = 1;
        ChannelSettings[1] = QStringLiteral("IP 127.0.0.1:%1").arg(program.balance.serverPort());
        Globals::RepeatCommand = repeat;
        Globals::RepeatInterval = 200;
        for (const QString& item : clicks + QStringList{"mnuToCursor", "mnuF12toStart_Stop"})
            main->findChild<QAction*>(item)->trigger();
        QVERIFY(main->mnuF12toStart_Stop->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(Communication_HW::IsChannelConnected(1), 10000);
        QVERIFY(program.pressF12());
        if (repeat) {
            QTRY_VERIFY_WITH_TIMEOUT(program.requests >= 3, 10000);
            QCOMPARE(main->mnuStart->text(), QStringLiteral("Stop"));
            QVERIFY(program.pressF12());
            QTRY_COMPARE(main->mnuStart->text(), QStringLiteral("Start"));
            text = text.repeated(program.requests);
        } else {
            QTRY_COMPARE(program.requests, 1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_window->text(), text, 10000);
        QTRY_COMPARE(m_window->presses().sliced(m_window->presses().size() - lefts - 1),
                     QStringList{"Return"} + QStringList(lefts, "Left"));
        QTRY_COMPARE_WITH_TIMEOUT(program.keyboard.state(), QProcess::NotRunning, 20000);
        QCOMPARE(program.keyboard.exitCode(), 0);
        for (const XTestWindow::KeyEvent& event : m_window->events())
            QVERIFY(event.keysym != QStringLiteral("F12")); // neither press nor release
        QCOMPARE(m_window->text(), text);
        QCOMPARE(main->mnuStart->text(), QStringLiteral("Start")); // nothing repeats now
    }
};

QTEST_MAIN(TestX11Desktop)
#include "tst_x11_desktop.moc"
