#include "platform/linux/device_path.h"

#include <sys/sysmacros.h>

namespace pvx::platform {

namespace {

// /dev/tty, /dev/console and /dev/ptmx: fixed numbers of the tty core.
constexpr DeviceKind kTtyCore = 5;
constexpr unsigned int kControllingTerminal = 0;
constexpr unsigned int kConsole = 1;
constexpr unsigned int kPtyMultiplexer = 2;

} // namespace

QString serialDevicePath(const QString &device)
{
    const QString path = device.trimmed();
    if (path.startsWith(QLatin1Char('/')) || path.startsWith(QLatin1String("./")) || path.startsWith(QLatin1String("../")))
        return path;
    return QStringLiteral("/dev/") + path;
}

DeviceKind deviceKindOf(dev_t rdev)
{
    return major(rdev);
}

std::optional<QString> serialDeviceRefusal(dev_t rdev, std::optional<DeviceKind> kind)
{
    const unsigned int number = minor(rdev);
    if (deviceKindOf(rdev) == kTtyCore
        && (number == kControllingTerminal || number == kConsole || number == kPtyMultiplexer))
        return QStringLiteral("not a serial device");
    if (kind && deviceKindOf(rdev) != *kind)
        return QStringLiteral("another kind of device than the one that went away");
    return std::nullopt;
}

} // namespace pvx::platform
