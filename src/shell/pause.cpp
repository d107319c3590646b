#include "shell/pause.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cmath>

namespace Globals {
namespace {
// What QEventLoop::exec returns when the application has been told to quit.
constexpr int EndingLoop = -1;
} // namespace

void Pause(double seconds)
{
    QElapsedTimer clock;
    clock.start();
    const qint64 wanted =
        std::isfinite(seconds) && seconds > 0 ? qint64(std::ceil(seconds * 1000.0)) : 0;

    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // Sleep in the event loop rather than spinning: the machine is shared with the
    // balances' traffic, and waiting for events costs nothing.
    for (qint64 left = wanted - clock.elapsed(); left > 0; left = wanted - clock.elapsed()) {
        QEventLoop loop;
        QTimer::singleShot(int(left), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        // Once the program is ending, no event loop runs any more and every exec returns
        // at once: waiting on would only burn a core until the time is up.
        if (loop.exec(QEventLoop::AllEvents) == EndingLoop)
            return;
    }
}

} // namespace Globals
