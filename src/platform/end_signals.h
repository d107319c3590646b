#pragma once
// The system asking the program to end: logging out or shutting down (SIGTERM), the
// terminal going away (SIGHUP) or Ctrl+C in it (SIGINT). The handler runs on the
// user-interface thread, between other events, never inside the signal itself.

#include <functional>

class QObject;

namespace Platform {

// Calls onEnd for each such request while context lives.
void WatchEndSignals(QObject* context, std::function<void()> onEnd);

} // namespace Platform
