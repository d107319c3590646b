#include "platform/serial_device.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace Platform {

QString DefaultSerialDevice(int n)
{
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}

QString StableSerialDeviceName(const QSerialPortInfo& port)
{
    // by-id names survive re-plugging and a changed enumeration order; ttyUSB0 does not.
    const QString location = port.systemLocation();
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link :
         byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (link.canonicalFilePath() == location)
            return link.absoluteFilePath();
    }
    return location;
}

bool SerialDeviceExists(const QString& device)
{
    return !device.isEmpty() && QFileInfo::exists(device);
}

int SerialDeviceAccessError(const QString& device)
{
    const QByteArray path = QFile::encodeName(device);
    if (::access(path.constData(), F_OK) != 0 || ::access(path.constData(), R_OK | W_OK) != 0)
        return errno;
    return 0;
}

namespace {

// The controlling terminal of this process, as /proc/self/stat's field tty_nr encodes it.
dev_t ControllingTerminal()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // The command name in parentheses may hold blanks; the fields after it do not.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const unsigned long ttyNr = fields.value(4).toULong();
    return ttyNr == 0 ? 0
                      : makedev((ttyNr >> 8) & 0xfff, (ttyNr & 0xff) | ((ttyNr >> 12) & 0xfff00));
}

bool IsOwnTerminal(dev_t device)
{
    if (device == makedev(5, 0) || device == ControllingTerminal()) // /dev/tty
        return true;
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        struct stat info = {};
        if (::isatty(fd) && ::fstat(fd, &info) == 0 && info.st_rdev == device)
            return true;
    }
    return false;
}

} // namespace

QString SerialDeviceRefusal(const QString& device)
{
    struct stat info = {};
    // A device that is not there is the open's own error to report.
    if (::stat(QFile::encodeName(device).constData(), &info) != 0)
        return {};
    if (!S_ISCHR(info.st_mode))
        return QStringLiteral("%1 is not a serial device (not a character device)").arg(device);
    if (IsOwnTerminal(info.st_rdev))
        return QStringLiteral("%1 is the terminal this program runs in, not a balance").arg(device);
    return {};
}

bool OpenSerialDeviceGone(const QString& device)
{
    // A descriptor left by a vanished device reads nothing and reports nothing; its device
    // node is gone, though.
    return !QFile::exists(device);
}

void SetShortKeepAlive(qintptr socketDescriptor)
{
    if (socketDescriptor == -1)
        return;
    const auto set = [socketDescriptor](int option, int value) {
        ::setsockopt(int(socketDescriptor), IPPROTO_TCP, option, &value, sizeof value);
    };
    set(TCP_KEEPIDLE, 10);
    set(TCP_KEEPINTVL, 5);
    set(TCP_KEEPCNT, 3);
    // Keep-alive stays silent while sent data waits for its acknowledgement.
    set(TCP_USER_TIMEOUT, 25000);
}

} // namespace Platform
