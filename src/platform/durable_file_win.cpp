#include "platform/durable_file.h"

#include <QStandardPaths>

#include <io.h>

namespace Platform {

void SyncFile(int handle)
{
    if (handle >= 0)
        ::_commit(handle);
}

void SyncFolder(const QString&)
{
    // NTFS journals its directory entries itself; there is nothing to force.
}

QString UserStateFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

} // namespace Platform
