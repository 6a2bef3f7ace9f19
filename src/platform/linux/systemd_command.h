#pragma once

#include "platform/result.h"

#include <QStringList>

#include <chrono>

namespace pvx::platform {

/// Runs `systemctl` with `arguments` and waits for it, at most `timeout`
/// (then it is killed). Fails, with what it said, when it cannot be started,
/// does not finish in time or exits with a status other than 0.
Result<void> runSystemctl(const QStringList &arguments, std::chrono::milliseconds timeout);

} // namespace pvx::platform
