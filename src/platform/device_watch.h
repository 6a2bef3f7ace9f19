#pragma once

#include "platform/result.h"

#include <QString>

#include <functional>

namespace pvx::platform {

/// Tells when a device may have appeared at a path: a serial adapter that
/// was unplugged and is plugged in again, a device that a program creates
/// anew. Waiting costs nothing; there is no polling. Calls and callbacks
/// happen on the event-loop thread; no callback comes from inside a call.
class DeviceWatch {
public:
    virtual ~DeviceWatch() = default;

    /// Starts watching `device` (a path as the serial port takes it; the
    /// folders above it need not exist yet). `mayHaveAppeared` is called
    /// when something at that path was created, replaced or changed its
    /// permissions: a hint to try the device again, which may still be
    /// missing or something else than a device. Returns the id for cancel().
    virtual Result<int> watch(const QString &device, std::function<void()> mayHaveAppeared) = 0;
    /// Stops the watch `id`; no call of its callback follows. An unknown id
    /// is ignored.
    virtual void cancel(int id) = 0;
};

} // namespace pvx::platform
