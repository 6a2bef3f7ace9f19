#pragma once

#include <QStringList>

namespace pvx::platform {

/// What this machine knows about its own network addresses.
class NetworkInfo {
public:
    virtual ~NetworkInfo() = default;
    /// Every IPv4 address of the machine's interfaces in dotted form,
    /// loopback included, in interface order.
    virtual QStringList localIPv4Addresses() const = 0;
};

} // namespace pvx::platform
