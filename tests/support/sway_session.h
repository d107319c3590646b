#pragma once
// A private Wayland desktop for tests: sway on its headless backend with the pixman
// renderer and no input devices, so the seat has no keyboard of its own. sway refuses to
// run as root; as root it runs as nobody, with a runtime folder of its own (mode 0700),
// and root connects to its socket all the same.
//
// The window of "another application" is foot, a terminal whose shell copies every byte
// typed into it to a file, raw: a TAB as a TAB, Enter as CR, µ in UTF-8.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

class SwaySession
{
public:
    // Starts sway and waits until it answers; isRunning() tells whether it did.
    SwaySession();
    ~SwaySession();
    SwaySession(const SwaySession&) = delete;
    SwaySession& operator=(const SwaySession&) = delete;

    bool isRunning() const
    {
        return m_sway.state() == QProcess::Running && !m_waylandDisplay.isEmpty();
    }
    // Why it did not start, for the test's skip or failure message.
    QString errorText() const { return m_error; }
    // The compositor's socket as an absolute path, for $WAYLAND_DISPLAY.
    QByteArray waylandDisplay() const { return m_waylandDisplay; }
    // The session's $XDG_RUNTIME_DIR; programs put in its folder "bin" are on its $PATH.
    QString runtimeDir() const { return m_runtimeDir.path(); }
    // What a program started in this desktop has in its environment.
    QProcessEnvironment environment() const;

    // Runs swaymsg with the arguments, as the user typing it; false when sway refused.
    bool swaymsg(const QStringList& arguments);
    // Adds the line to sway's configuration file and reloads it, as the user would.
    bool addConfigLine(const QString& line);

    // Starts the terminal and waits until it has the keyboard focus and reads its input.
    bool startClient();
    // Closes it, as the user would: no application has the focus afterwards.
    void stopClient();
    // Every byte typed into the client so far.
    QByteArray typed() const;

    // Ends sway now, as a session ending would.
    void stop();

private:
    // sway and foot as nobody when we are root, as ourselves otherwise.
    void startAsUser(QProcess& process, const QString& program, const QStringList& arguments);
    bool clientFocused();

    QTemporaryDir m_runtimeDir;
    QProcess m_sway;
    QProcess m_client;
    QByteArray m_waylandDisplay;
    QString m_error;
    int m_clients = 0;
};
