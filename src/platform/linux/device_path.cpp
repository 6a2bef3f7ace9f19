#include "platform/linux/device_path.h"

namespace pvx::platform {

QString serialDevicePath(const QString &device)
{
    const QString path = device.trimmed();
    if (path.startsWith(QLatin1Char('/')) || path.startsWith(QLatin1String("./")) || path.startsWith(QLatin1String("../")))
        return path;
    return QStringLiteral("/dev/") + path;
}

} // namespace pvx::platform
