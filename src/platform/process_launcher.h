#pragma once

#include "platform/result.h"

#include <QString>

namespace pvx::platform {

/// Starts other programs without waiting for them.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    /// Runs `commandLine` through the shell, detached, output discarded.
    virtual Result<void> startDetached(const QString &commandLine) = 0;
};

} // namespace pvx::platform
