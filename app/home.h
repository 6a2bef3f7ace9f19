#pragma once

#include "platform/linux/instance_lock.h"
#include "platform/result.h"

#include <QString>

namespace pvx::platform {
class FileStore;
}

namespace pvx::app {

/// The home's path when it exists (created user-only when missing), belongs
/// to the user, can be written by the user alone, and can be written;
/// otherwise why not.
platform::Result<QString> prepareHome(platform::FileStore &files, const QString &homeOption);
/// The lock that makes this run the one instance on `home`; when another
/// instance holds it, ErrorCode::Busy and the message that says so.
platform::Result<platform::InstanceLock> lockHome(const QString &home);
/// Says why the start is refused: exit code 3 when another instance holds
/// the home, else 1.
int refusedStart(const platform::Error &error);

} // namespace pvx::app
