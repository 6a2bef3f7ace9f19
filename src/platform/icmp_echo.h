#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace pvx::platform {

/// The outcome of one echo request.
struct EchoReply {
    /// 0 on success, otherwise one of the IP status codes (11001 and up).
    int status = 0;
    QString address;
    int roundTripMs = 0;
    int ttl = 0;
    QByteArray data;
};

/// Asynchronous ICMP echo: the answer (or the time-out) arrives as a callback
/// on the event loop; the caller never waits.
class IcmpEcho {
public:
    virtual ~IcmpEcho() = default;
    /// Sends one request to the dotted IPv4 `address` carrying `data`; `done`
    /// is called exactly once, later, with the reply or the failure status.
    /// Returns a request id that cancel() takes.
    virtual int send(const QString &address, const QByteArray &data, int timeoutMs,
                     std::function<void(const EchoReply &)> done) = 0;
    /// Forgets a request: its callback will not be called.
    virtual void cancel(int requestId) = 0;
};

} // namespace pvx::platform
