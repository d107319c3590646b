#pragma once
// A private X server for tests: Xvfb on a free display number, stopped with the object.
// Tests put display() into $DISPLAY for the program's own X11 code; Qt itself stays on
// the offscreen platform.

#include <QByteArray>
#include <QProcess>

class XvfbServer
{
public:
    // Starts Xvfb and waits until it accepts connections; isRunning() tells whether it did.
    XvfbServer();
    ~XvfbServer() { stop(); }

    bool isRunning() const
    {
        return m_process.state() == QProcess::Running && !m_display.isEmpty();
    }
    // ":<n>", for $DISPLAY.
    QByteArray display() const { return m_display; }
    // Why it did not start, for the test's skip or failure message.
    QString errorText() const { return m_error; }

    // Ends the server now, as a session ending would.
    void stop();

private:
    QProcess m_process;
    QByteArray m_display;
    QString m_error;
};
