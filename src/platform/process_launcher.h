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
    /// Starts the program `name`, found on the search path, without
    /// arguments and detached. Fails with NotFound when no such program is
    /// installed.
    virtual Result<void> startProgram(const QString &name) = 0;
};

} // namespace pvx::platform
