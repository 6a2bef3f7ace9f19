#pragma once

#include <QDateTime>

namespace pvx::platform {

/// The wall clock, for log lines.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

} // namespace pvx::platform
