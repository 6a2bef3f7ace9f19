#pragma once

#include <QString>

#include <functional>

namespace pvx::platform {

/// Name to address look-ups.
class HostResolver {
public:
    virtual ~HostResolver() = default;
    /// The first IPv4 address of `hostName` in dotted form, or empty when it
    /// cannot be resolved; `done` is called once, on the event loop.
    virtual void lookup(const QString &hostName, std::function<void(const QString &address)> done) = 0;
};

} // namespace pvx::platform
