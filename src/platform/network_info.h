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
    /// Every IPv6 address of the machine's interfaces as a user would type
    /// it (`::1`, `2001:db8::7`; link-local with its zone, `fe80::1%eth0`),
    /// loopback included, in interface order.
    virtual QStringList localIPv6Addresses() const = 0;
};

} // namespace pvx::platform
