// How fast readings are typed through the desktop portal on a headless KDE Plasma session
// (KWin, the portal and its KDE backend): F12 pressed on KWin's keyboard, the program's
// portal backends type a reading of 13 characters and Enter into another program's native
// Wayland window. Arrival to last keystroke: from handing the reading's key texts to the
// RemoteDesktop backend to its Enter reaching the window, after the consent dialog.
//
//   bench_portal_typing [readings]     default 50

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>

#include "support/portal_typing_rig.h"

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int readings = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
    KWinSession session;
    if (!session.missing().isEmpty() || !session.error().isEmpty()) {
        std::printf("no KWin session: %s%s\n", qPrintable(session.missing()),
                    qPrintable(session.error()));
        return 1;
    }
    PortalTypingRig rig(session);
    if (!rig.error().isEmpty() || !rig.firstReading()) {
        std::printf("no typing: %s %s\n", rig.error().constData(), rig.said().constData());
        return 1;
    }
    QList<double> delays;
    for (int reading = 2; reading <= readings + 1; ++reading) {
        rig.press(PortalTypingRig::KeyF12);
        if (!QTest::qWaitFor([&] { return rig.keys().lines.size() >= reading; }, 20000)) {
            std::printf("reading %d never arrived\n", reading);
            return 1;
        }
        // "pressed <n> <ms>" from the typist: when the reading was handed over.
        const QByteArray mark = "pressed " + QByteArray::number(reading) + ' ';
        const qsizetype at = rig.said().indexOf(mark) + mark.size();
        const qint64 arrival = rig.said().mid(at, rig.said().indexOf('\n', at) - at).toLongLong();
        delays << double(rig.keys().enteredAt.at(reading - 1) - arrival);
    }
    std::sort(delays.begin(), delays.end());
    std::printf(
        "portal arrival to last keystroke (KWin): %lld readings of 14 keys: median %.0f ms, "
        "90th percentile %.0f ms, max %.0f ms\n",
        qint64(delays.size()), delays.at(delays.size() / 2), delays.at(delays.size() * 9 / 10),
        delays.back());
    return 0;
}
