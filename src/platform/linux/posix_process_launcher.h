#pragma once

#include "platform/process_launcher.h"

namespace pvx::platform {

/// Runs a command line as `/bin/sh -c` would, or a program from the search
/// path, detached from this process, with its input and output on
/// /dev/null; nothing waits for it.
class PosixProcessLauncher final : public ProcessLauncher {
public:
    Result<void> startDetached(const QString &commandLine) override;
    Result<void> startProgram(const QString &name) override;
};

} // namespace pvx::platform
