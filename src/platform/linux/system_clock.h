#pragma once

#include "platform/clock.h"

namespace pvx::platform {

/// The machine's local time.
class SystemClock final : public Clock {
public:
    QDateTime now() const override;
};

} // namespace pvx::platform
