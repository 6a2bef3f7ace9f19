#pragma once

#include "platform/result.h"

#include <QString>

#include <sys/un.h>

namespace pvx::platform {

/// The address of the Unix-domain socket at `path`; fails, saying so, when
/// the path is longer than a socket address holds (107 bytes).
Result<sockaddr_un> localSocketAddress(const QString &path);

} // namespace pvx::platform
