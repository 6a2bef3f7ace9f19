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
    /// Starts watching the device now at `device`, which another program
    /// holds: `mayBeFree` is called when a program closes it or lets go of
    /// the lock file that marks it taken, a hint to try it again. A device
    /// that is replaced is not followed: watch it again. Returns the id for
    /// cancel().
    virtual Result<int> watchRelease(const QString &device, std::function<void()> mayBeFree) = 0;
    /// Stops the watch `id`; no call of its callback follows. An unknown id
    /// is ignored.
    virtual void cancel(int id) = 0;
};

} // namespace pvx::platform
