#pragma once

#include "platform/linux/unique_fd.h"
#include "platform/result.h"

#include <QString>

namespace pvx::platform {

/// The claim of one running instance on its home: an exclusive flock() on a
/// lock file, held for as long as this object lives (and released by the
/// system when the process ends, however it ends).
class InstanceLock {
public:
    /// Takes the lock on the file at `path` (created 0600 when missing).
    /// Fails with ErrorCode::Busy while another process holds it.
    static Result<InstanceLock> acquire(const QString &path);

private:
    explicit InstanceLock(UniqueFd fd) : m_fd(std::move(fd)) {}

    UniqueFd m_fd;
};

} // namespace pvx::platform
