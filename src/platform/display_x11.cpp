#include "platform/display_x11.h"

#include <QtGlobal>
#include <array>

#include <X11/Xlib.h>

namespace Platform::X11 {

// Xlib's error handlers are process-wide; ours serve the connections opened here and pass
// everything else on to whatever handler was in place before.
struct ConnectionHandlers
{
    static constexpr size_t MaxConnections = 16;
    static inline std::array<Connection*, MaxConnections> open{};
    static inline XErrorHandler previousError = nullptr;
    static inline XIOErrorHandler previousIOError = nullptr;

    static Connection* find(Display* display)
    {
        for (Connection* connection : open) {
            if (connection && connection->m_display == display)
                return connection;
        }
        return nullptr;
    }

    static int onError(Display* display, XErrorEvent* event)
    {
        if (Connection* connection = find(display)) {
            if (connection->m_firstError == 0)
                connection->m_firstError = event->error_code;
            return 0;
        }
        return previousError ? previousError(display, event) : 0;
    }

    static int onIOError(Display* display)
    {
        if (Connection* connection = find(display)) {
            connection->m_lost = true;
            return 0;
        }
        return previousIOError ? previousIOError(display) : 0;
    }

    // Called after onIOError; returning (instead of exiting) leaves a dead display behind
    // that Xlib treats as closed for every further request.
    static void onLost(Display*, void* connection)
    {
        static_cast<Connection*>(connection)->m_lost = true;
    }

    static void add(Connection* connection)
    {
        static const bool installed = [] {
            previousError = XSetErrorHandler(onError);
            previousIOError = XSetIOErrorHandler(onIOError);
            return true;
        }();
        Q_UNUSED(installed);
        for (Connection*& slot : open) {
            if (!slot) {
                slot = connection;
                return;
            }
        }
    }

    static void remove(Connection* connection)
    {
        for (Connection*& slot : open) {
            if (slot == connection)
                slot = nullptr;
        }
    }
};

Connection::Connection() : m_name(qgetenv("DISPLAY"))
{
    if (m_name.isEmpty())
        return;
    m_display = XOpenDisplay(m_name.constData());
    if (!m_display)
        return;
    // A connection that cannot be guarded would put the program's life in Xlib's hands.
    ConnectionHandlers::add(this);
    if (!ConnectionHandlers::find(m_display)) {
        XCloseDisplay(m_display);
        m_display = nullptr;
        return;
    }
    XSetIOErrorExitHandler(m_display, ConnectionHandlers::onLost, this);
}

Connection::~Connection()
{
    if (!m_display)
        return;
    // Closing a lost connection only frees it; closing a live one may still find the
    // server gone, which the handlers absorb.
    XCloseDisplay(m_display);
    ConnectionHandlers::remove(this);
}

void Connection::beginTrap()
{
    if (!display())
        return;
    XSync(m_display, False);
    m_firstError = 0;
}

int Connection::endTrap()
{
    if (!display())
        return m_lost ? -1 : 0;
    XSync(m_display, False);
    const int error = m_firstError;
    m_firstError = 0;
    return error;
}

} // namespace Platform::X11
