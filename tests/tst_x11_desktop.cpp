// The real X11 desktop backends against a private Xvfb: key texts typed into another
// client's focused window, and the root-window F12 grab driven by xdotool.

#include <QProcess>
#include <QTest>
#include <memory>
#include <optional>
#include <utility>

#include "platform/keygrab_x11.h"
#include "platform/native_backends.h"
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

} // namespace

class TestX11Desktop : public QObject
{
    Q_OBJECT

    std::unique_ptr<XvfbServer> m_xvfb;
    std::unique_ptr<XTestWindow> m_window;
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

    void typingWorksAgainOnTheTestDisplay()
    {
        qputenv("DISPLAY", m_xvfb->display());
        Platform::NativeDesktop().SendKeys(QStringLiteral("1"));
        QVERIFY(waitForSentinel());
        QCOMPARE(m_window->text(), QStringLiteral("1\x1b"));
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
        // The layout has unshifted parenthesis keys, which need no Shift; ^ and % are
        // characters, never Ctrl or Alt.
        row("punctuation", "{(}{)}^%{}[]", "()^%{}[]",
            "parenleft parenright Shift_L asciicircum Shift_L percent Shift_L braceleft Shift_L "
            "braceright bracketleft bracketright");
        row("third level and outside Latin-1", "¦€", "¦€",
            "Shift_L ISO_Level3_Shift brokenbar U20AC");
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
    void withoutUsableDisplayOrKeyNothingIsTypedOrGrabbed_data()
    {
        QTest::addColumn<QByteArray>("display");
        QTest::newRow("no DISPLAY (a pure Wayland session)") << QByteArray();
        QTest::newRow("display without a server") << QByteArrayLiteral(":4093");
        QTest::newRow("garbage DISPLAY") << QByteArrayLiteral("not a display");
        QTest::newRow("F12 grabbed by another client") << QByteArrayLiteral("other client");
    }
    void withoutUsableDisplayOrKeyNothingIsTypedOrGrabbed()
    {
        QFETCH(QByteArray, display);
        std::optional<XvfbServer> own;
        std::optional<XTestWindow> otherClient;
        if (display == "other client") {
            QVERIFY2(own.emplace().isRunning(), qPrintable(own->errorText()));
            qputenv("DISPLAY", own->display());
            QVERIFY(otherClient.emplace().grabKey("F12"));
        } else if (display.isEmpty()) {
            qunsetenv("DISPLAY");
        } else {
            qputenv("DISPLAY", display);
        }
        QCOMPARE(Platform::NativeKeyGrab().Install(VK_F12, [](int, int, int) { return 1; }),
                 quintptr(0));
        Platform::NativeDesktop().SendKeys(QStringLiteral("N"));
        Platform::NativeDesktop().Beep();
        typingWorksAgainOnTheTestDisplay();
    }
    void serverGoingAwayLeavesTypingAndGrabHarmless()
    {
        auto doomed = std::make_unique<XvfbServer>();
        QVERIFY2(doomed->isRunning(), qPrintable(doomed->errorText()));
        qputenv("DISPLAY", doomed->display());
        const quintptr handle =
            Platform::NativeKeyGrab().Install(VK_F12, [](int, int, int) { return 1; });
        QVERIFY(handle != 0);
        Platform::NativeDesktop().SendKeys(QStringLiteral("µ1"));
        doomed->stop();
        QTRY_VERIFY_WITH_TIMEOUT(
            !static_cast<Platform::X11::RootKeyGrab&>(Platform::NativeKeyGrab()).connected(handle),
            10000);
        Platform::NativeDesktop().SendKeys(QStringLiteral("µ2"));
        Platform::NativeKeyGrab().Remove(handle);
        typingWorksAgainOnTheTestDisplay();
    }
};

QTEST_MAIN(TestX11Desktop)
#include "tst_x11_desktop.moc"
