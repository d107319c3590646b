#pragma once
// Which device a serial port number means. A number alone names nothing on Linux, so the
// settings store maps it: section "Ports", key "COM<n>" holds the device path. Without that
// key COM n is /dev/ttyS<n-1> on Linux and COMn on Windows. The port elements open what
// this says, and the communication settings dialog shows and changes it.

#include <QHash>
#include <QList>
#include <QString>

namespace Communication_HW {

// Serial port numbers the program offers.
inline constexpr int MaxComPort = 16;

QString ComPortDevice(int n);
// What the store itself says for COM n: empty while the built-in default applies.
QString StoredComPortDevice(int n);
// Stores the device for COM n; an empty path puts the built-in default back.
void SetComPortDevice(int n, const QString& device);

// Devices chosen for COM numbers and not stored yet: the channel list gathers them from
// "Communication Settings" and stores them only with its own OK.
using ComPortDevices = QHash<int, QString>;
// Stores each chosen device that is not what its number opens already.
void StoreComPortDevices(const ComPortDevices& chosen);

struct SerialDevice
{
    QString path;        // the stable /dev/serial/by-id/ name where the system has one
    QString description; // maker and product as the system reports them, may be empty
};
// The serial devices present now, in the order the system lists them.
QList<SerialDevice> PresentSerialDevices();
// Whether the device exists now: a pseudo terminal or adapter that went away does not.
bool SerialDeviceExists(const QString& device);

} // namespace Communication_HW
