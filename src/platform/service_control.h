#pragma once

#include "platform/result.h"

namespace pvx::platform {

/// Installing the program as a system service and removing it again.
class ServiceControl {
public:
    virtual ~ServiceControl() = default;
    virtual Result<void> install(bool startNow) = 0;
    virtual Result<void> uninstall() = 0;
};

} // namespace pvx::platform
