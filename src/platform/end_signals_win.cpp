#include "platform/end_signals.h"

namespace Platform {

// Windows ends a desktop program through its windows, not through signals.
void WatchEndSignals(QObject*, std::function<void()>) {}

} // namespace Platform
