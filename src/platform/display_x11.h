#pragma once
// A private Xlib connection to the X server named by $DISPLAY, apart from whatever Qt uses.
//
// Xlib's default handlers end the whole program on any protocol error and when the server
// goes away (session end, a stopped Xvfb). The program must outlive both, so every
// connection opened here records protocol errors instead of dying on them, and a lost
// server only turns the connection into a lost one.
//
// No Xlib header here: its macros (KeyPress, None, Bool...) clash with Qt's names.

#include <QByteArray>

struct _XDisplay;

namespace Platform::X11 {

class Connection
{
public:
    // Connects to $DISPLAY; display() is nullptr when there is no X server to talk to.
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The live connection, or nullptr when none could be opened or the server is gone.
    _XDisplay* display() const { return m_lost ? nullptr : m_display; }
    bool lost() const { return m_lost; }
    // The $DISPLAY this connection was opened for.
    const QByteArray& name() const { return m_name; }

    // Collects protocol errors of the requests between the two calls; endTrap() waits for
    // the server to have processed them and returns the first error code (0 for none, -1
    // when the server is gone).
    void beginTrap();
    int endTrap();

private:
    friend struct ConnectionHandlers;
    _XDisplay* m_display = nullptr;
    QByteArray m_name;
    bool m_lost = false;
    int m_firstError = 0;
};

} // namespace Platform::X11
