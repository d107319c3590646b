#pragma once
// A headless KDE Plasma session for tests: KWin on a virtual output with its own session
// bus, on which the desktop portal and its KDE backend start on demand. Runs as the
// unprivileged user "nobody" when the tests run as root, with a private runtime directory.
//
// KWin runs from a copy of its binary: the installed one carries a file capability that
// a container cannot grant. Any client may use KWin's fake input here, so tests can press
// real keys (tests/wayland/press_keys).

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <memory>
#include <vector>

class KWinSession
{
public:
    KWinSession();
    ~KWinSession();

    // The packages missing for a session, for the test's skip message; empty when all
    // are installed.
    QString missing() const { return m_missing; }
    // Why the session did not start; empty when it runs.
    QString error() const { return m_error; }

    // Starts a program in the session (standard output and error merged); the session
    // stops it at its end.
    QProcess* start(const QString& program, const QStringList& arguments = {},
                    const QProcessEnvironment& extra = {});
    // Runs a program in the session to its end; true when it exited with status 0.
    bool run(const QString& program, const QStringList& arguments = {});

private:
    void prepare(QProcess& process, const QProcessEnvironment& extra);

    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    QString m_missing;
    QString m_error;
    unsigned m_uid = 0;
    unsigned m_gid = 0;
};
