#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace pvx::platform {

/// Name to address look-ups.
class HostResolver {
public:
    virtual ~HostResolver() = default;
    /// Looks up the first IPv4 address of `hostName` (this computer's own
    /// name when it is empty) and calls `done` once, later, on the event
    /// loop, with the address in dotted form, or empty when it cannot be
    /// resolved. Returns a look-up id (> 0) that cancel() takes.
    virtual int lookup(const QString &hostName, std::function<void(const QString &address)> done) = 0;
    /// Looks up every address of `hostName`, IPv4 and IPv6, and calls `done`
    /// once, later, on the event loop, with them in the order the resolver
    /// gives them (empty when it cannot be resolved). Returns a look-up id
    /// (> 0) that cancel() takes.
    virtual int lookupAll(const QString &hostName, std::function<void(const QStringList &addresses)> done) = 0;
    /// Forgets a look-up: its callback will not be called.
    virtual void cancel(int lookupId) = 0;
};

} // namespace pvx::platform
