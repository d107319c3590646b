// The main loop on a real KDE Plasma desktop: F12 pressed on KWin's keyboard reaches the
// program through the GlobalShortcuts portal, and each reading is typed through the
// RemoteDesktop portal into another program's native Wayland window.

#include <QTest>

#include "support/portal_typing_rig.h"

class TestKWinPortal : public QObject
{
    Q_OBJECT

private slots:
    void twentyReadingsTypedIntoWaylandApplication()
    {
        KWinSession session;
        if (!session.missing().isEmpty())
            QSKIP(qPrintable(session.missing()));
        QVERIFY2(session.error().isEmpty(), qPrintable(session.error()));
        PortalTypingRig rig(session);
        QVERIFY2(rig.error().isEmpty(), rig.error().constData());

        QVERIFY2(rig.firstReading(), rig.said().constData());
        QStringList expected{"R1 +12.7 g"};
        for (int reading = 2; reading <= 20; ++reading) {
            QVERIFY(rig.press(PortalTypingRig::KeyF12));
            expected << QStringLiteral("R%1 +12.%2 g").arg(reading).arg(reading * 7);
            QTRY_COMPARE_WITH_TIMEOUT(rig.keys().lines, expected, 20000);
        }
        QCOMPARE(rig.keys().lines, expected);
        QVERIFY(!rig.keys().sawF12);
        QVERIFY2(!rig.said().contains("failure"), rig.said().constData());
        QTRY_VERIFY2(rig.said().contains("released 20"), rig.said().constData()); // the key-up
    }
};

QTEST_MAIN(TestKWinPortal)
#include "tst_kwin_portal.moc"
