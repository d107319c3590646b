#pragma once
// One advisory lock that the program holds on a file for as long as it runs. The system
// lets go of it when the process ends in any way (also killed, also crashed), so a lock
// left over from a run that is gone is simply taken, whatever its file holds: a stale
// name, garbage, a host name from another machine.

#include <QString>
#include <optional>

namespace Platform {

struct LockRefusal
{
    bool heldElsewhere = false; // by a live copy of the program; else the file failed
    QString reason;             // for a user: who holds it, or the system's error
};

// Takes the lock on path, or keeps it when it is held on that path already. Empty on
// success, else why not.
std::optional<LockRefusal> TakeProgramLock(const QString& path);
// Lets go of the lock (tests, and a change of the folder that holds it).
void ReleaseProgramLock();

} // namespace Platform
