#include "platform/program_lock.h"

#include <QFile>
#include <QSysInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace Platform {
namespace {

int g_fd = -1;
QString g_path;

QString SystemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

std::optional<LockRefusal> TakeProgramLock(const QString& path)
{
    if (g_fd >= 0 && g_path == path)
        return std::nullopt;
    ReleaseProgramLock();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return LockRefusal{false, SystemError(errno)};
    // flock, not a record lock: closing some other descriptor of the same file (a read of
    // it, say) must not drop it. Over NFS Linux maps it onto the server's locks, so a
    // shared home is covered too.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        QByteArray holder(256, '\0');
        const ssize_t length = ::pread(fd, holder.data(), holder.size(), 0);
        ::close(fd);
        if (error != EWOULDBLOCK)
            return LockRefusal{false, SystemError(error)};
        holder.resize(std::max<ssize_t>(length, 0));
        const QString who = QString::fromUtf8(holder).trimmed();
        return LockRefusal{
            true, who.isEmpty()
                      ? QStringLiteral("another copy of the program holds it")
                      : QStringLiteral("another copy of the program holds it (%1)").arg(who)};
    }
    // Only for the message of a second copy; the lock itself is what counts.
    const QByteArray owner = QStringLiteral("process %1 on %2\n")
                                 .arg(::getpid())
                                 .arg(QSysInfo::machineHostName())
                                 .toUtf8();
    if (::ftruncate(fd, 0) == 0) [[maybe_unused]]
        const ssize_t written = ::pwrite(fd, owner.constData(), owner.size(), 0);
    g_fd = fd;
    g_path = path;
    return std::nullopt;
}

void ReleaseProgramLock()
{
    if (g_fd >= 0)
        ::close(g_fd);
    g_fd = -1;
    g_path.clear();
}

} // namespace Platform
