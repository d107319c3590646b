#pragma once
// What the operating system says about serial devices and TCP links, where Linux and
// Windows answer differently. The communication layer asks here and stays free of
// platform switches.

#include <QString>
#include <QtGlobal>

class QSerialPortInfo;

namespace Platform {

// The device COM n means when the settings store names none.
QString DefaultSerialDevice(int n);
// The name to offer and store for a present port: a stable one where the system has it.
QString StableSerialDeviceName(const QSerialPortInfo& port);
// Whether the device exists now: a pseudo terminal or adapter that went away does not.
bool SerialDeviceExists(const QString& device);
// Why the device cannot be opened, as an errno value (EACCES, ENOENT, ...), or 0 when the
// system sees nothing wrong with it or cannot tell without opening it.
int SerialDeviceAccessError(const QString& device);
// Why the device must never be opened as a balance's port, or "" when nothing speaks
// against it: the terminal this program runs in (it would read its own keyboard and
// write into its own terminal), or something that is not a character device at all.
QString SerialDeviceRefusal(const QString& device);
// True when an open port's device has gone away under it (an unplugged adapter, a closed
// pseudo terminal), which the port itself does not report.
bool OpenSerialDeviceGone(const QString& device);

// Short keep-alive timing on a connected TCP socket, so a peer that vanished without a word
// is noticed within about 30 seconds instead of hours.
void SetShortKeepAlive(qintptr socketDescriptor);

} // namespace Platform
