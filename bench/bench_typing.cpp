// How fast readings are typed into another application on X11, on a private Xvfb with a
// plain X client window holding the focus:
//   - typing rate: 1000 characters of balance readings sent one key text per character, as
//     the receive path sends them; keys per second until the client has seen the last one;
//   - arrival to last keystroke: from handing one reading to the main window's receive path
//     (ReceiveChannel, as the socket's data event does) to the last of its keys reaching the
//     client;
//   - answer during a held F12: F12 goes down (the desktop grab takes it), the reading
//     arrives, F12 comes up; from the release to the last of its keys reaching the client.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "comm/channel_connections.h"
#include "keyhook/keyhook.h"
#include "platform/native_backends.h"
#include "shell/frmMDIMain.h"
#include "support/x_test_window.h"
#include "support/xvfb_server.h"
#include "typing_bench.h"

namespace {

const QString Reading = QStringLiteral("N     +    12.345 g\r\n");

// The key text of one received character with every format option off.
QString keyTextOf(QChar c)
{
    if (c == u'\r')
        return QStringLiteral("{ENTER}");
    if (c == u'\n')
        return {};
    if (c == u'(' || c == u')')
        return u'{' + c + u'}';
    return c;
}

// Whether the client's latest key event is a press of the named key.
bool lastPressed(const XTestWindow& window, const QString& keysym)
{
    return !window.events().isEmpty() && window.events().back().press &&
           window.events().back().keysym == keysym;
}

// Runs the event loop until the client's key events satisfy done(); false after a long time.
// It wakes on each key event, so the time measured is the time the key arrived.
bool waitFor(XTestWindow& window, const std::function<bool()>& done, int timeoutMs = 60000)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, [&] { loop.exit(1); });
    QObject::connect(&window, &XTestWindow::keyEvent, &loop, [&] {
        if (done())
            loop.exit(0);
    });
    return loop.exec() == 0;
}

void typingRate(XTestWindow& window)
{
    QStringList keyTexts;
    qsizetype characters = 0;
    while (characters < 1000) {
        for (const QChar c : Reading) {
            if (characters == 1000)
                break;
            keyTexts << keyTextOf(c);
            ++characters;
        }
    }
    // A warm-up run counts the key presses (Shifts included) the client gets per run; the
    // LEFT after it marks its end.
    window.clear();
    for (const QString& keyText : std::as_const(keyTexts))
        Platform::NativeDesktop().SendKeys(keyText);
    Platform::NativeDesktop().SendKeys(QStringLiteral("{LEFT}"));
    if (!waitFor(window, [&] { return lastPressed(window, QStringLiteral("Left")); })) {
        std::printf("typing rate: the warm-up never reached the client\n");
        return;
    }
    const qsizetype presses = window.presses().indexOf(QStringLiteral("Left"));
    qsizetype perRun = 0; // presses and releases before the LEFT
    while (window.events()[perRun].keysym != QStringLiteral("Left"))
        ++perRun;
    window.clear();

    QElapsedTimer timer;
    timer.start();
    for (const QString& keyText : std::as_const(keyTexts))
        Platform::NativeDesktop().SendKeys(keyText);
    const double sentMs = timer.nsecsElapsed() / 1e6;
    if (!waitFor(window, [&] { return window.events().size() >= perRun; })) {
        std::printf("typing rate: the client saw only %lld of %lld key events\n",
                    qlonglong(window.events().size()), qlonglong(perRun));
        return;
    }
    const double seenMs = timer.nsecsElapsed() / 1e6;
    std::printf("typing rate: %lld characters (%lld key presses) sent in %.1f ms, all seen "
                "by the client after %.1f ms: %.0f characters/s, %.0f key presses/s\n",
                qlonglong(characters), qlonglong(presses), sentMs, seenMs,
                characters / (seenMs / 1000), presses / (seenMs / 1000));
}

// Each reading is handed to the receive path as the socket's data event would.
void arrivalToLastKey(XTestWindow& window, frmMDIMain& main)
{
    constexpr int Rounds = 200;
    std::vector<double> delays;
    for (int round = 0; round < Rounds; ++round) {
        window.clear();
        QElapsedTimer timer;
        timer.start();
        main.ReceiveChannel(1, Reading);
        if (!waitFor(window, [&] { return lastPressed(window, QStringLiteral("Return")); })) {
            std::printf("arrival to last keystroke: a reading never reached the client\n");
            return;
        }
        delays.push_back(timer.nsecsElapsed() / 1e6);
    }
    PrintDelays("arrival to last keystroke", std::move(delays), Reading.size());
}

// The user holds F12 in the other application while the balance answers; the reading must
// reach that application once F12 is let go.
void answerDuringHeldF12(XTestWindow& window, frmMDIMain& main)
{
    bool down = false;
    const quintptr grab = Platform::NativeKeyGrab().Install(Keyhook::VK_F12, [&](int, int w, int) {
        down = w == Keyhook::WM_KEYDOWN;
        return 1;
    });
    if (!grab) {
        std::printf("answer during a held F12: F12 could not be grabbed\n");
        return;
    }
    constexpr int Rounds = 100;
    std::vector<double> delays;
    for (int round = 0; round < Rounds; ++round) {
        window.clear();
        window.fakeKey("F12", true);
        if (!QTest::qWaitFor([&] { return down; }, 20000)) {
            std::printf("answer during a held F12: the grab never saw F12\n");
            break;
        }
        main.ReceiveChannel(1, Reading);
        QTest::qWait(0);
        QElapsedTimer timer;
        timer.start();
        window.fakeKey("F12", false);
        if (!waitFor(
                window, [&] { return lastPressed(window, QStringLiteral("Return")); }, 5000) ||
            window.text() != QString(Reading).remove(u'\n')) {
            std::printf("answer during a held F12: the reading never reached the client "
                        "(it got \"%s\")\n",
                        qPrintable(window.text().toHtmlEscaped()));
            break;
        }
        delays.push_back(timer.nsecsElapsed() / 1e6);
        if (!QTest::qWaitFor([&] { return !down; }, 20000))
            break;
    }
    Platform::NativeKeyGrab().Remove(grab);
    if (!delays.empty())
        PrintDelays("answer during a held F12, release to last keystroke", std::move(delays),
                    Reading.size());
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const PrivateFolders folders;

    XvfbServer xvfb;
    if (!xvfb.isRunning()) {
        std::printf("no Xvfb: %s\n", qPrintable(xvfb.errorText()));
        return 1;
    }
    qputenv("DISPLAY", xvfb.display());
    XTestWindow window;
    if (!window.isReady()) {
        std::printf("no client window on %s\n", xvfb.display().constData());
        return 1;
    }

    typingRate(window);

    QTcpServer balance;
    frmMDIMain main;
    if (!StartForwardingChannel(balance, main))
        return 1;
    arrivalToLastKey(window, main);
    answerDuringHeldF12(window, main);
    return 0;
}
