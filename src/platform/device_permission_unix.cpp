#include "platform/device_permission.h"

#include <QFile>
#include <algorithm>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Platform {
namespace {

bool holds(std::vector<gid_t> groups, int count, gid_t gid)
{
    groups.resize(std::size_t(std::max(count, 0)));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// The groups this session runs with: fixed at login, whatever the database says since.
bool inSessionGroup(gid_t gid)
{
    std::vector<gid_t> groups(std::size_t(std::max(getgroups(0, nullptr), 0)));
    const int count = getgroups(int(groups.size()), groups.data());
    return getegid() == gid || holds(groups, count, gid);
}

// The groups the group database gives the user now, as the next login will have them.
bool inDatabaseGroup(gid_t gid)
{
    const passwd* user = getpwuid(getuid());
    if (!user)
        return false;
    int count = 256;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0)
        return false;
    return holds(groups, count, gid);
}

} // namespace

QString DevicePermissionAdvice(const QString& device)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(device).constData(), &info) != 0)
        return QStringLiteral("Permission denied on %1").arg(device);
    const group* owner = getgrgid(info.st_gid);
    const QString name =
        owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(info.st_gid);
    const mode_t groupReadWrite = S_IRGRP | S_IWGRP;
    // Joining a group that may not use the device, or root's, would not help.
    if (info.st_gid == 0 || (info.st_mode & groupReadWrite) != groupReadWrite)
        return QStringLiteral("Permission denied on %1: its group %2 may not open it either; the "
                              "administrator can give it to a group such as dialout")
            .arg(device, name);
    if (inSessionGroup(info.st_gid))
        return QStringLiteral("Permission denied on %1 although you are in its group %2")
            .arg(device, name);
    if (inDatabaseGroup(info.st_gid))
        return QStringLiteral("Permission denied on %1: you were added to its group %2 after this "
                              "session began; log out and in again")
            .arg(device, name);
    // The command on a line of its own, so that a wrapped box does not split it.
    return QStringLiteral("Permission denied on %1, which belongs to the group %2. Run this "
                          "command, then log out and in again:\r\n\r\nsudo usermod -aG %2 $USER")
        .arg(device, name);
}

} // namespace Platform
