#pragma once

#include "platform/host_resolver.h"

#include <QObject>

#include <map>

class QHostInfo;

namespace pvx::platform {

/// Look-ups through the system's resolver, run by Qt in the background. An
/// empty name looks up this computer's own name. Event-loop thread only; the
/// answers of look-ups still running when this dies are dropped.
class QtHostResolver : public HostResolver {
public:
    QtHostResolver() = default;
    QtHostResolver(const QtHostResolver &) = delete;
    QtHostResolver &operator=(const QtHostResolver &) = delete;

    int lookup(const QString &hostName, std::function<void(const QString &address)> done) override;
    int lookupAll(const QString &hostName, std::function<void(const QStringList &addresses)> done) override;
    void cancel(int lookupId) override;

private:
    int start(const QString &hostName, std::function<void(const QHostInfo &)> done);
    void finished(int lookupId, const QHostInfo &info);

    /// Ties the answers to this object's life.
    QObject m_context;
    std::map<int, std::function<void(const QHostInfo &)>> m_waiting;
    int m_lastId = 0;
};

} // namespace pvx::platform
