#include "platform/device_permission.h"

namespace Platform {

QString DevicePermissionAdvice(const QString& device)
{
    // Windows gives no user group to join; a port that is refused is mostly held by another
    // program.
    return QStringLiteral("Access denied on %1: is another program using it?").arg(device);
}

} // namespace Platform
