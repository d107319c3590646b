#include "comm/serial_devices.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

#include "platform/settings_store.h"

namespace Communication_HW {
namespace {

const QString PortsSection = QStringLiteral("Ports");

QString keyOf(int n)
{
    return QStringLiteral("COM%1").arg(n);
}

#ifndef Q_OS_WIN
// by-id names survive re-plugging and a changed enumeration order; ttyUSB0 does not.
QHash<QString, QString> stableNamesByDevice()
{
    QHash<QString, QString> names;
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link :
         byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        names.insert(link.canonicalFilePath(), link.absoluteFilePath());
    return names;
}
#endif

} // namespace

QString ComPortDevice(int n)
{
    const QString mapped = SettingsStore::GetSetting(PortsSection, keyOf(n));
    if (!mapped.isEmpty())
        return mapped;
#ifdef Q_OS_WIN
    return keyOf(n);
#else
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
#endif
}

void SetComPortDevice(int n, const QString& device)
{
    SettingsStore::SaveSetting(PortsSection, keyOf(n), device);
}

QList<SerialDevice> PresentSerialDevices()
{
#ifndef Q_OS_WIN
    const QHash<QString, QString> stable = stableNamesByDevice();
#endif
    QList<SerialDevice> devices;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
        const QString path = port.portName();
#else
        const QString path = stable.value(port.systemLocation(), port.systemLocation());
#endif
        const QString description =
            QStringList{port.manufacturer(), port.description()}.join(u' ').trimmed();
        devices.append({path, description});
    }
    return devices;
}

bool SerialDeviceExists(const QString& device)
{
#ifdef Q_OS_WIN
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        if (port.portName().compare(device, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
#else
    return !device.isEmpty() && QFileInfo::exists(device);
#endif
}

} // namespace Communication_HW
