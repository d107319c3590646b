#include "platform/serial_device.h"

#include <QSerialPortInfo>

#include <winsock2.h>
// After winsock2.h, which it builds on.
#include <mstcpip.h>

namespace Platform {

QString DefaultSerialDevice(int n)
{
    return QStringLiteral("COM%1").arg(n);
}

QString StableSerialDeviceName(const QSerialPortInfo& port)
{
    return port.portName();
}

bool SerialDeviceExists(const QString& device)
{
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        if (port.portName().compare(device, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

int SerialDeviceAccessError(const QString&)
{
    // Windows has no cheap test short of opening the port; its own error text is shown.
    return 0;
}

QString SerialDeviceRefusal(const QString&)
{
    // COM names only ever reach serial ports; a console is not among them.
    return {};
}

bool OpenSerialDeviceGone(const QString&)
{
    // A removed adapter makes the port report a resource error, handled like any other.
    return false;
}

void SetShortKeepAlive(qintptr socketDescriptor)
{
    if (socketDescriptor == -1)
        return;
    // Windows fixes the probe count at ten, so a vanished peer is found within about 60 s.
    tcp_keepalive timing{1, 10000, 5000};
    DWORD returned = 0;
    ::WSAIoctl(SOCKET(socketDescriptor), SIO_KEEPALIVE_VALS, &timing, sizeof timing, nullptr, 0,
               &returned, nullptr, nullptr);
}

} // namespace Platform
