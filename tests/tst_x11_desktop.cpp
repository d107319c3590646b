// The real X11 desktop backends against a private Xvfb: key texts typed into another
// client's focused window, and the root-window F12 grab driven by xdotool.

#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "platform/keygrab_x11.h"
#include "platform/native_backends.h"
#include "support/x_test_window.h"
#include "support/xvfb_server.h"

namespace {

constexpr int VK_F12 = 123;
constexpr unsigned long XK_mu = 0xB5;
// X modifier masks that typing must never hold: Control, Mod1 (Alt), Mod4 (Super).
constexpr unsigned ForbiddenModifiers = (1u << 2) | (1u << 3) | (1u << 6);

Platform::X11::RootKeyGrab& rootGrab()
{
    return static_cast<Platform::X11::RootKeyGrab&>(Platform::NativeKeyGrab());
}

// Runs xdotool on the test's display, as the user pressing keys on the real keyboard.
bool xdotool(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

struct HookCall
{
    int nCode;
    int wParam;
    int vkCode;
};

QList<int> keyMessages(const QList<HookCall>& calls)
{
    QList<int> messages;
    for (const HookCall& call : calls)
        messages << call.wParam;
    return messages;
}

} // namespace

class TestX11Desktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void keyTextArrivesInTheFocusedWindow_data();
    void keyTextArrivesInTheFocusedWindow();
    void characterMissingFromTheLayoutLeavesTheKeymapCleanOnceTypingStops();
    void grabbedF12ReachesTheProcedureAndNeverTheWindow_data();
    void grabbedF12ReachesTheProcedureAndNeverTheWindow();
    void heldF12RepeatsKeyDownsWithoutKeyUpsBetween();
    void grabHeldByAnotherClientMakesInstallFail();
    void removedGrabLetsF12ReachTheWindowAgain();
    void withoutUsableDisplayNothingIsTypedOrGrabbed_data();
    void withoutUsableDisplayNothingIsTypedOrGrabbed();
    void serverGoingAwayLeavesTypingAndGrabHarmless();

private:
    // Waits for the sentinel key that xdotool presses after the keys under test.
    bool waitForSentinel();

    std::unique_ptr<XvfbServer> m_xvfb;
    std::unique_ptr<XTestWindow> m_window;
};

void TestX11Desktop::initTestCase()
{
    m_xvfb = std::make_unique<XvfbServer>();
    QVERIFY2(m_xvfb->isRunning(), qPrintable(m_xvfb->errorText()));
    qputenv("DISPLAY", m_xvfb->display());
    m_window = std::make_unique<XTestWindow>();
    QVERIFY(m_window->isReady());
}

void TestX11Desktop::init()
{
    qputenv("DISPLAY", m_xvfb->display());
    m_window->takeFocus();
    m_window->clear();
}

void TestX11Desktop::cleanupTestCase()
{
    m_window.reset();
    m_xvfb.reset();
}

bool TestX11Desktop::waitForSentinel()
{
    if (!xdotool({QStringLiteral("key"), QStringLiteral("Escape")}))
        return false;
    return QTest::qWaitFor([&] { return m_window->presses().contains(QStringLiteral("Escape")); },
                           10000);
}

void TestX11Desktop::keyTextArrivesInTheFocusedWindow_data()
{
    QTest::addColumn<QString>("keyText");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("presses");

    const auto row = [](const char* name, const QString& keyText, const QString& text,
                        const QString& presses) {
        QTest::newRow(name) << keyText << text << presses.split(u' ', Qt::SkipEmptyParts);
    };
    row("capital letter with the layout's Shift", "N", "N", "Shift_L N");
    row("blank", " ", " ", "space");
    row("plus is a character, not Shift", "+", "+", "Shift_L plus");
    row("digit", "1", "1", "1");
    row("decimal point", ".", ".", "period");
    row("named TAB", "{TAB}", "\t", "Tab");
    row("named ENTER", "{ENTER}", "\r", "Return");
    row("named LEFT types nothing", "{LEFT}", "", "Left");
    // The layout also has unshifted parenthesis keys, which need no Shift.
    row("braced parentheses", "{(}{)}", "()", "parenleft parenright");
    row("micro sign missing from the layout", "µ", "µ", "mu");
    row("degree sign missing from the layout", "°", "°", "degree");
    row("caret is a character, not Ctrl", "^", "^", "Shift_L asciicircum");
    row("tilde", "~", "~", "Shift_L asciitilde");
    row("lone braces", "{}", "{}", "Shift_L braceleft Shift_L braceright");
    row("brackets", "[]", "[]", "bracketleft bracketright");
    row("percent is a character, not Alt", "%", "%", "Shift_L percent");
    row("capital A", "A", "A", "Shift_L A");
    row("broken bar on the third level", "¦", "¦", "Shift_L ISO_Level3_Shift brokenbar");
    row("euro sign outside Latin-1", "€", "€", "U20AC");
    row("several missing characters at once", "µ°µ", "µ°µ", "mu degree mu");
    row("control characters are not typed", QStringLiteral("\u0001\u001ba\u007f\u0008"), "a", "a");
    row("a whole reading", "N  +  12.345 g{ENTER}", "N  +  12.345 g\r",
        "Shift_L N space space Shift_L plus space space 1 2 period 3 4 5 space g Return");
}

void TestX11Desktop::keyTextArrivesInTheFocusedWindow()
{
    QFETCH(QString, keyText);
    QFETCH(QString, text);
    QFETCH(QStringList, presses);

    Platform::NativeDesktop().SendKeys(keyText);
    QVERIFY(waitForSentinel());

    QStringList received = m_window->presses();
    received.removeLast();
    QCOMPARE(received, presses);
    QCOMPARE(m_window->text().chopped(1), text); // the sentinel Escape composes "\x1b"
    for (const XTestWindow::KeyEvent& event : m_window->events())
        QCOMPARE(event.state & ForbiddenModifiers, 0u);
}

void TestX11Desktop::characterMissingFromTheLayoutLeavesTheKeymapCleanOnceTypingStops()
{
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->keymapHolds(XK_mu), 10000);
    Platform::NativeDesktop().SendKeys(QStringLiteral("µ"));
    QVERIFY(m_window->keymapHolds(XK_mu));
    QTRY_COMPARE(m_window->text(), QStringLiteral("µ"));
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->keymapHolds(XK_mu), 10000);

    // The keycode it borrowed serves again.
    Platform::NativeDesktop().SendKeys(QStringLiteral("µ"));
    QTRY_COMPARE(m_window->text(), QStringLiteral("µµ"));
}

void TestX11Desktop::grabbedF12ReachesTheProcedureAndNeverTheWindow_data()
{
    QTest::addColumn<QStringList>("xdotoolArguments");
    QTest::addColumn<QList<int>>("messages");

    const QList<int> pressAndRelease{0x100, 0x101};
    QTest::newRow("plain press gives key-down and key-up")
        << QStringList{"key", "F12"} << pressAndRelease;
    QTest::newRow("two presses give two key-downs")
        << QStringList{"key", "F12", "F12"} << QList<int>{0x100, 0x101, 0x100, 0x101};
    QTest::newRow("Alt held through press and release gives system messages")
        << QStringList{"keydown", "alt", "key", "F12", "keyup", "alt"} << QList<int>{0x104, 0x105};
    QTest::newRow("Alt let go before the key gives a plain key-up")
        << QStringList{"key", "alt+F12"} << QList<int>{0x104, 0x101};
    QTest::newRow("Shift held makes no difference")
        << QStringList{"key", "shift+F12"} << pressAndRelease;
    QTest::newRow("Ctrl held makes no difference")
        << QStringList{"key", "ctrl+F12"} << pressAndRelease;
    QTest::newRow("NumLock on makes no difference")
        << QStringList{"key", "Num_Lock", "F12", "Num_Lock"} << pressAndRelease;
    QTest::newRow("CapsLock on makes no difference")
        << QStringList{"key", "Caps_Lock", "F12", "Caps_Lock"} << pressAndRelease;
}

void TestX11Desktop::grabbedF12ReachesTheProcedureAndNeverTheWindow()
{
    QFETCH(QStringList, xdotoolArguments);
    QFETCH(QList<int>, messages);

    QList<HookCall> calls;
    const quintptr handle = Platform::NativeKeyGrab().Install(VK_F12, [&](int n, int w, int vk) {
        calls.append({n, w, vk});
        return 1;
    });
    QVERIFY(handle != 0);
    const auto removeGrab = qScopeGuard([&] { Platform::NativeKeyGrab().Remove(handle); });

    QVERIFY(xdotool(xdotoolArguments));
    QVERIFY(waitForSentinel());
    QTRY_COMPARE(keyMessages(calls), messages);
    for (const HookCall& call : calls) {
        QCOMPARE(call.nCode, 0);
        QCOMPARE(call.vkCode, VK_F12);
    }
    QVERIFY(!m_window->presses().contains(QStringLiteral("F12")));
}

void TestX11Desktop::heldF12RepeatsKeyDownsWithoutKeyUpsBetween()
{
    QList<HookCall> calls;
    const quintptr handle = Platform::NativeKeyGrab().Install(VK_F12, [&](int n, int w, int vk) {
        calls.append({n, w, vk});
        return 1;
    });
    QVERIFY(handle != 0);
    const auto removeGrab = qScopeGuard([&] { Platform::NativeKeyGrab().Remove(handle); });

    QVERIFY(xdotool({QStringLiteral("keydown"), QStringLiteral("F12")}));
    QTRY_VERIFY_WITH_TIMEOUT(keyMessages(calls).count(0x100) >= 3, 10000);
    QVERIFY(xdotool({QStringLiteral("keyup"), QStringLiteral("F12")}));
    QTRY_COMPARE(keyMessages(calls).last(), 0x101);
    QCOMPARE(keyMessages(calls).count(0x101), 1);
}

void TestX11Desktop::grabHeldByAnotherClientMakesInstallFail()
{
    XvfbServer own;
    QVERIFY2(own.isRunning(), qPrintable(own.errorText()));
    qputenv("DISPLAY", own.display());
    XTestWindow otherProgram;
    QVERIFY(otherProgram.grabKey("F12"));

    QCOMPARE(Platform::NativeKeyGrab().Install(VK_F12, [](int, int, int) { return 1; }),
             quintptr(0));
}

void TestX11Desktop::removedGrabLetsF12ReachTheWindowAgain()
{
    int calls = 0;
    const quintptr handle = Platform::NativeKeyGrab().Install(VK_F12, [&](int, int, int) {
        ++calls;
        return 1;
    });
    QVERIFY(handle != 0);
    Platform::NativeKeyGrab().Remove(handle);

    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("F12")}));
    QVERIFY(waitForSentinel());
    QCOMPARE(m_window->presses(), (QStringList{"F12", "Escape"}));
    QCOMPARE(calls, 0);
}

void TestX11Desktop::withoutUsableDisplayNothingIsTypedOrGrabbed_data()
{
    QTest::addColumn<QByteArray>("display");
    QTest::newRow("no DISPLAY (a pure Wayland session)") << QByteArray();
    QTest::newRow("display without a server") << QByteArrayLiteral(":4093");
    QTest::newRow("garbage DISPLAY") << QByteArrayLiteral("not a display");
}

void TestX11Desktop::withoutUsableDisplayNothingIsTypedOrGrabbed()
{
    QFETCH(QByteArray, display);
    if (display.isEmpty())
        qunsetenv("DISPLAY");
    else
        qputenv("DISPLAY", display);

    QCOMPARE(Platform::NativeKeyGrab().Install(VK_F12, [](int, int, int) { return 1; }),
             quintptr(0));
    Platform::NativeDesktop().SendKeys(QStringLiteral("N"));
    Platform::NativeDesktop().Beep();

    // Back on a display, typing works again.
    qputenv("DISPLAY", m_xvfb->display());
    Platform::NativeDesktop().SendKeys(QStringLiteral("1"));
    QVERIFY(waitForSentinel());
    QCOMPARE(m_window->text(), QStringLiteral("1\x1b"));
}

void TestX11Desktop::serverGoingAwayLeavesTypingAndGrabHarmless()
{
    auto doomed = std::make_unique<XvfbServer>();
    QVERIFY2(doomed->isRunning(), qPrintable(doomed->errorText()));
    qputenv("DISPLAY", doomed->display());
    const quintptr handle =
        Platform::NativeKeyGrab().Install(VK_F12, [](int, int, int) { return 1; });
    QVERIFY(handle != 0);
    Platform::NativeDesktop().SendKeys(QStringLiteral("µ1"));

    doomed->stop();
    QTRY_VERIFY_WITH_TIMEOUT(!rootGrab().connected(handle), 10000);
    Platform::NativeDesktop().SendKeys(QStringLiteral("µ2"));
    Platform::NativeKeyGrab().Remove(handle);

    qputenv("DISPLAY", m_xvfb->display());
    Platform::NativeDesktop().SendKeys(QStringLiteral("3"));
    QVERIFY(waitForSentinel());
    QCOMPARE(m_window->text(), QStringLiteral("3\x1b"));
}

QTEST_MAIN(TestX11Desktop)
#include "tst_x11_desktop.moc"
