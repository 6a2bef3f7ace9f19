#pragma once

#include "platform/host_resolver.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace pvx::platform {

/// The address datagrams to a remote host go to, found without ever
/// blocking the event loop: an address literal of either family (IPv6 also
/// in brackets) at once, a name in the background. A name goes to the first
/// address the resolver gives, IPv4 or IPv6. While a name does not resolve
/// it is looked up again at most every 5 s, and `failed` is called once per
/// run of failures. Event-loop thread only; a lookup still running when this
/// dies is cancelled.
class RemoteAddressLookup {
public:
    /// `resolver` must outlive this.
    RemoteAddressLookup(HostResolver &resolver, std::function<void(const QString &description)> failed);
    ~RemoteAddressLookup();
    RemoteAddressLookup(const RemoteAddressLookup &) = delete;
    RemoteAddressLookup &operator=(const RemoteAddressLookup &) = delete;

    /// The address of `host` when it is known; otherwise nothing, after
    /// starting a lookup unless one runs or the last one failed less than
    /// 5 s ago.
    std::optional<QHostAddress> address(const QString &host);

private:
    void forgetLookup();
    void finished(const QStringList &addresses);

    HostResolver &m_resolver;
    std::function<void(const QString &)> m_failed;
    QString m_host;
    QHostAddress m_address;
    int m_lookupId = 0;
    QDeadlineTimer m_retryAt;
    bool m_failureReported = false;
};

} // namespace pvx::platform
