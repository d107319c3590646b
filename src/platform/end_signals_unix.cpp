#include "platform/end_signals.h"

#include <QObject>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace Platform {
namespace {

// The signal handler may only write to a descriptor; the notifier reads the other end.
int g_pipe[2] = {-1, -1};

void OnSignal(int signal)
{
    // The interrupted code may be about to read errno; a full socket must not block here.
    const int savedErrno = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::send(g_pipe[0], &byte, 1, MSG_DONTWAIT);
    errno = savedErrno;
}

} // namespace

void WatchEndSignals(QObject* context, std::function<void()> onEnd)
{
    if (g_pipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [onEnd = std::move(onEnd)] {
        char byte = 0;
        if (::read(g_pipe[1], &byte, 1) == 1)
            onEnd();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

} // namespace Platform
