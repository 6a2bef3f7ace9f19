#pragma once

#include <QString>

namespace pvx::platform {

/// The file a serial device name stands for: a path as it is ("/dev/ttyUSB0",
/// "./dev"), a bare name under /dev ("ttyUSB0"). Blanks around it are ignored.
QString serialDevicePath(const QString &device);

} // namespace pvx::platform
