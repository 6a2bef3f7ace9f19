#pragma once

#include <QString>

#include <sys/types.h>

#include <optional>

namespace pvx::platform {

/// The file a serial device name stands for: a path as it is ("/dev/ttyUSB0",
/// "./dev"), a bare name under /dev ("ttyUSB0"). Blanks around it are ignored.
QString serialDevicePath(const QString &device);

/// The driver of a character device: the major part of its number.
using DeviceKind = unsigned int;

/// The kind of the character device numbered `rdev`.
DeviceKind deviceKindOf(dev_t rdev);

/// Why the character device numbered `rdev` is not to be opened as a serial
/// device, or nothing when it may be. The console, the controlling terminal
/// and the pseudo-terminal multiplexer never are: each acts as a terminal
/// but is no line to a device. With `kind`, only a device of that kind is.
std::optional<QString> serialDeviceRefusal(dev_t rdev, std::optional<DeviceKind> kind);

} // namespace pvx::platform
