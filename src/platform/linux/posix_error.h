#pragma once

#include "platform/result.h"

#include <QString>

namespace pvx::platform {

/// The error for a failed system call: `what` followed by the system's text
/// for `errorNumber`, with the code that fits the errno value.
Error posixError(int errorNumber, const QString &what);

} // namespace pvx::platform
