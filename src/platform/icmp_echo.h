#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace pvx::platform {

/// The outcome of one echo request.
struct EchoReply {
    /// 0 on success, otherwise one of the IP status codes (11001 and up).
    int status = 0;
    /// The address that answered (dotted IPv4, or IPv6); empty when nothing
    /// answered.
    QString address;
    int roundTripMs = 0;
    /// Time to live of the answer's IP header; 0 without an answer.
    int ttl = 0;
    /// The echoed data (an answer to a failed request carries none).
    QByteArray data;
    /// Why the request could not be sent at all (this machine allows no
    /// ICMP socket, say); empty when it was sent. Such a reply has status
    /// 11050.
    QString failure;
};

/// Asynchronous ICMP echo: the answer (or the time-out) arrives as a callback
/// on the event loop; the caller never waits. Calls and callbacks happen on
/// the event-loop thread; no callback runs from inside a call.
class IcmpEcho {
public:
    virtual ~IcmpEcho() = default;
    /// Sends one request to `address` (dotted IPv4, or IPv6: ICMPv6 echo; an
    /// IPv4-mapped IPv6 address goes over IPv4) carrying `data`; `done`
    /// is called exactly once, later, with the reply or the failure status
    /// (11010 when nothing answered within `timeoutMs`). Returns a request id
    /// (> 0) that cancel() takes.
    virtual int send(const QString &address, const QByteArray &data, int timeoutMs,
                     std::function<void(const EchoReply &)> done) = 0;
    /// Forgets a request: its callback will not be called.
    virtual void cancel(int requestId) = 0;
};

} // namespace pvx::platform
