#pragma once

namespace Globals {
// Waits at least the given time while the user interface processes its pending events
// (always at least one pass); returns early once the program is ending. Measured on a
// monotonic clock, so midnight does not matter.
void Pause(double seconds);
} // namespace Globals
