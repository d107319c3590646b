#include "comm/serial_devices.h"

#include <QSerialPortInfo>

#include "platform/serial_device.h"
#include "platform/settings_store.h"

namespace Communication_HW {
namespace {

const QString PortsSection = QStringLiteral("Ports");

QString keyOf(int n)
{
    return QStringLiteral("COM%1").arg(n);
}

} // namespace

QString StoredComPortDevice(int n)
{
    return SettingsStore::GetSetting(PortsSection, keyOf(n));
}

QString ComPortDevice(int n)
{
    const QString mapped = StoredComPortDevice(n);
    if (!mapped.isEmpty())
        return mapped;
    return Platform::DefaultSerialDevice(n);
}

void SetComPortDevice(int n, const QString& device)
{
    SettingsStore::SaveSetting(PortsSection, keyOf(n), device);
}

void StoreComPortDevices(const ComPortDevices& chosen)
{
    for (auto it = chosen.cbegin(); it != chosen.cend(); ++it) {
        const bool unchanged = it.value().isEmpty() ? StoredComPortDevice(it.key()).isEmpty()
                                                    : it.value() == ComPortDevice(it.key());
        if (!unchanged)
            SetComPortDevice(it.key(), it.value());
    }
}

QList<SerialDevice> PresentSerialDevices()
{
    QList<SerialDevice> devices;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        const QString path = Platform::StableSerialDeviceName(port);
        const QString description =
            QStringList{port.manufacturer(), port.description()}.join(u' ').trimmed();
        devices.append({path, description});
    }
    return devices;
}

bool SerialDeviceExists(const QString& device)
{
    return Platform::SerialDeviceExists(device);
}

} // namespace Communication_HW
