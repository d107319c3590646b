#pragma once
// One advisory lock that the program holds on a file for as long as it runs. The system
// lets go of it when the process ends in any way (also killed, also crashed), so a lock
// left over from a run that is gone is simply taken, whatever its file holds: a stale
// name, garbage, a host name from another machine.

#include <QString>

namespace Platform {

// Takes the lock on path, or keeps it when it is held on that path already. Returns "" on
// success, else why not, for a user: who holds it, or the system's error.
QString TakeProgramLock(const QString& path);
// Lets go of the lock (tests, and a change of the folder that holds it).
void ReleaseProgramLock();

} // namespace Platform
