// The main loop on a real KDE Plasma desktop: F12 pressed on KWin's keyboard reaches the
// program through the GlobalShortcuts portal, and each reading is typed through the
// RemoteDesktop portal into another program's native Wayland window.

#include <QElapsedTimer>
#include <QTest>

#include "support/kwin_session.h"

namespace {
const QString Bin = QStringLiteral(QUORVANE_BIN_DIR);
constexpr int KeyF12 = 88, KeyEnter = 28; // Linux key codes
constexpr int QtKeyF12 = 0x0100003b, QtKeyReturn = 0x01000004;
} // namespace

class TestKWinPortal : public QObject
{
    Q_OBJECT

    // The recorder's lines of typed text, and whether F12 itself reached it.
    static QStringList linesTyped(QProcess& recorder, QByteArray& log, bool& sawF12)
    {
        log += recorder.readAll();
        QString text;
        for (const QByteArray& line : log.split('\n')) {
            if (line.startsWith("text "))
                text += QString::fromUtf8(line.mid(5));
            else if (line == "key " + QByteArray::number(QtKeyReturn))
                text += u'\n';
            else if (line == "key " + QByteArray::number(QtKeyF12))
                sawF12 = true;
        }
        // A stray Enter from answering the consent dialog leaves an empty line.
        return text.split(u'\n', Qt::SkipEmptyParts);
    }

private slots:
    void twentyReadingsTypedIntoWaylandApplication()
    {
        KWinSession session;
        if (!session.missing().isEmpty())
            QSKIP(qPrintable(session.missing()));
        QByteArray recorded;
        QProcess* recorder = session.start(Bin + "/key_recorder");
        QTRY_VERIFY_WITH_TIMEOUT((recorded += recorder->readAll()).contains("shown\n"), 20000);
        QProcessEnvironment offscreen;
        offscreen.insert("QT_QPA_PLATFORM", "offscreen"); // no window of its own to take focus
        QProcess* typist = session.start(Bin + "/portal_typist", {}, offscreen);
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += typist->readAll()).contains("global shortcut"), 30000);

        QStringList expected;
        bool sawF12 = false;
        for (int reading = 1; reading <= 20; ++reading) {
            expected << QStringLiteral("R%1 +12.%2 g").arg(reading).arg(reading * 7);
            QVERIFY(session.run(Bin + "/press_keys", {QString::number(KeyF12)}));
            if (reading == 1) {
                // The desktop asks once whether the program may type; the user says yes
                // with Enter as soon as the dialog has the focus.
                QElapsedTimer sinceEnter;
                QVERIFY2(QTest::qWaitFor(
                             [&] {
                                 if (!sinceEnter.isValid() || sinceEnter.elapsed() > 2000) {
                                     session.run(Bin + "/press_keys", {QString::number(KeyEnter)});
                                     sinceEnter.start();
                                 }
                                 return !linesTyped(*recorder, recorded, sawF12).isEmpty();
                             },
                             60000),
                         (said + typist->readAll()).constData());
            }
            QTRY_COMPARE_WITH_TIMEOUT(linesTyped(*recorder, recorded, sawF12), expected, 20000);
        }
        QVERIFY(!sawF12);
        QVERIFY2(!(said += typist->readAll()).contains("failure"), said.constData());
    }
};

QTEST_MAIN(TestKWinPortal)
#include "tst_kwin_portal.moc"
