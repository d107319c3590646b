// How fast readings are typed into another application on X11, on a private Xvfb with a
// plain X client window holding the focus:
//   - typing rate: 1000 characters of balance readings sent one key text per character, as
//     the receive path sends them; keys per second until the client has seen the last one;
//   - arrival to last keystroke: from handing one reading to the receive path to the last
//     of its keys reaching the client.

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <cstdio>

#include "platform/native_backends.h"
#include "support/x_test_window.h"
#include "support/xvfb_server.h"

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

// Waits until the client has seen `presses` key presses; false after a long time.
bool waitForPresses(XTestWindow& window, qsizetype presses)
{
    return QTest::qWaitFor([&] { return window.presses().size() >= presses; }, 60000);
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
    if (!QTest::qWaitFor([&] { return window.presses().contains(QStringLiteral("Left")); },
                         60000)) {
        std::printf("typing rate: the warm-up never reached the client\n");
        return;
    }
    const qsizetype perRun = window.presses().size() - 1;
    window.clear();

    QElapsedTimer timer;
    timer.start();
    for (const QString& keyText : std::as_const(keyTexts))
        Platform::NativeDesktop().SendKeys(keyText);
    const double sentMs = timer.nsecsElapsed() / 1e6;
    if (!waitForPresses(window, perRun)) {
        std::printf("typing rate: the client saw only %lld of %lld key presses\n",
                    qlonglong(window.presses().size()), qlonglong(perRun));
        return;
    }
    const double seenMs = timer.nsecsElapsed() / 1e6;
    std::printf("typing rate: %lld characters (%lld key presses) sent in %.1f ms, all seen "
                "by the client after %.1f ms: %.0f characters/s, %.0f key presses/s\n",
                qlonglong(characters), qlonglong(perRun), sentMs, seenMs,
                characters / (seenMs / 1000), perRun / (seenMs / 1000));
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

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
    return 0;
}
