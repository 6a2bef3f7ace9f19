#pragma once

#include "platform/result.h"

#include <QString>

namespace pvx::platform {

/// Whether only this user controls the folder at `path` (through links):
/// it belongs to the effective user and neither group nor others may write
/// into it, for whoever may write into a folder may put links of their own
/// in place of its files. ErrorCode::AccessDenied with a detail that names
/// the folder and the rule it breaks ("<path> belongs to another user",
/// "<path> is writable by group or others (mode 0775)").
Result<void> checkPrivateFolder(const QString &path);

} // namespace pvx::platform
