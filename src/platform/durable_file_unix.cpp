#include "platform/durable_file.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace Platform {

void SyncFile(int handle)
{
    if (handle >= 0)
        ::fsync(handle);
}

void SyncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

QString UserStateFolder()
{
    // Qt names this folder only from 6.7 on; before that, the same rule by hand.
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base;
}

} // namespace Platform
