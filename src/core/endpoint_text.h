#pragma once

#include <QString>

namespace pvx::core {

/// `address`:`port` as a user would type it: an IPv6 address (one with a
/// colon) in brackets, `[::1]:4001`; IPv4 and names as they are,
/// `127.0.0.1:4001`.
QString endpointText(const QString &address, int port);

} // namespace pvx::core
