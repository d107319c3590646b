#pragma once
// The portal typing loop on a KWin session: someone else's window (key_recorder) has the
// focus, the program's portal backends (portal_typist) type a reading at every F12, and
// F12 is pressed on KWin's keyboard (press_keys).

#include <QElapsedTimer>
#include <QTest>

#include "support/kwin_session.h"
#include "support/recorded_keys.h"

class PortalTypingRig
{
public:
    static constexpr int KeyF12 = 88, KeyEnter = 28; // Linux key codes

    // Starts the window and the typist; error() says what did not start.
    explicit PortalTypingRig(KWinSession& session) : m_session(session)
    {
        m_recorder = session.start(bin("key_recorder"));
        if (!QTest::qWaitFor([&] { return recorded().contains("shown\n"); }, 20000)) {
            m_error = "the receiving window did not show: " + m_recorded;
            return;
        }
        QProcessEnvironment offscreen;
        offscreen.insert("QT_QPA_PLATFORM", "offscreen"); // no window to take the focus
        m_typist = session.start(bin("portal_typist"), {}, offscreen);
        // Binding the shortcut is the portal's answer to the typist's request.
        if (!QTest::qWaitFor([&] { return said().contains("global shortcut"); }, 30000))
            m_error = "the shortcut was not bound: " + m_said;
    }

    QByteArray error() const { return m_error; }
    bool press(int key) { return m_session.run(bin("press_keys"), {QString::number(key)}); }
    const QByteArray& recorded() { return m_recorded += m_recorder->readAll(); }
    const QByteArray& said() { return m_said += m_typist->readAll(); }
    RecordedKeys keys() { return RecordedKeys(recorded()); }

    // The first F12: the desktop asks once whether the program may type, and the user says
    // yes with Enter once the dialog has the focus (an Enter before that reaches the window as
    // an empty line). True once the reading arrived.
    bool firstReading()
    {
        if (!press(KeyF12))
            return false;
        QElapsedTimer sinceEnter;
        return QTest::qWaitFor(
            [&] {
                // Once keys arrive the dialog is gone: another Enter would split the reading.
                if (!recorded().contains(" text ") &&
                    (!sinceEnter.isValid() || sinceEnter.elapsed() > 3000)) {
                    press(KeyEnter);
                    sinceEnter.start();
                }
                return !keys().lines.isEmpty();
            },
            60000);
    }

private:
    static QString bin(const char* program)
    {
        return QStringLiteral(QUORVANE_BIN_DIR "/") + QLatin1String(program);
    }

    KWinSession& m_session;
    QProcess* m_recorder = nullptr;
    QProcess* m_typist = nullptr;
    QByteArray m_recorded, m_said, m_error;
};
