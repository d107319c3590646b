#pragma once
// What to tell a user who may not open a serial device, where the answer depends on how the
// system hands out devices.

#include <QString>

namespace Platform {

// What names the device, why it may not be opened and what to do: the group that owns it
// with the exact command that adds the user to it (on a line of its own), or only logging
// out and in again when the user is already in that group but this session started before.
QString DevicePermissionAdvice(const QString& device);

} // namespace Platform
