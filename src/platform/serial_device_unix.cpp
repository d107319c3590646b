#include "platform/serial_device.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
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
