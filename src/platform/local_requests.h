#pragma once
// The program's own socket, one per user. Desktops that give no application a global key
// bind F12 to `quorvane --request` instead, which hands the key to the running program
// here; and a second start asks the running copy to come forward instead of opening the
// same ports once more. One line per message, each answered "ok" by the running program:
//   "F12 down", "F12 up"   the function key, as a desktop key grab reports it
//   "raise <NAME=value>..."  bring the main window forward; the start's activation token
//                            (XDG_ACTIVATION_TOKEN, DESKTOP_STARTUP_ID), percent-encoded

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "platform/key_grab.h"

class QLocalServer;
class QLocalSocket;

namespace Platform::LocalRequests {

// $XDG_RUNTIME_DIR/quorvane.socket, else a per-user name in the temp folder.
QString SocketPath();

enum class Answer { Done, NotRunning, NoAnswer };
// Sends the lines to the running program and waits a moment for its answers.
Answer Send(const QStringList& lines);
// The raise line of this start, with the activation token the desktop gave it.
QString RaiseLine();

// The hook procedure that function-key requests reach (one at a time, while F12 mode is on).
void Attach(int vkCode, HookProcedure procedure);
void Detach();
// Whether a function-key request came in this run: the desktop's shortcut works.
bool FunctionKeyRequested();

class Server : public QObject
{
public:
    explicit Server(QObject* parent = nullptr);
    // Listens at SocketPath(), taking over a socket left by a program that was killed.
    bool listen();
    QString errorString() const;
    // The window a second start brings forward.
    void setMainWindow(QWidget* window) { m_window = window; }

private:
    void readLines(QLocalSocket* peer);
    void raise(const QStringList& fields);

    QLocalServer* m_server;
    QPointer<QWidget> m_window;
};

} // namespace Platform::LocalRequests
