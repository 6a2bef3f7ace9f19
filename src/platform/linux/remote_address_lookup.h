#pragma once

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QHostInfo;

namespace pvx::platform {

/// The IPv4 address datagrams to a remote host go to, found without ever
/// blocking the event loop: a dotted address at once, a name in the
/// background. While a name does not resolve it is looked up again at most
/// every 5 s, and `failed` is called once per run of failures. Event-loop
/// thread only; a lookup still running when this dies is forgotten.
class RemoteAddressLookup {
public:
    explicit RemoteAddressLookup(std::function<void(const QString &description)> failed);
    RemoteAddressLookup(const RemoteAddressLookup &) = delete;
    RemoteAddressLookup &operator=(const RemoteAddressLookup &) = delete;

    /// The address of `host` when it is known; otherwise nothing, after
    /// starting a lookup unless one runs or the last one failed less than
    /// 5 s ago.
    std::optional<QHostAddress> address(const QString &host);

private:
    void finished(const QString &host, const QHostInfo &info);

    std::function<void(const QString &)> m_failed;
    /// Ties the lookups' answers to this object's life.
    QObject m_context;
    QString m_host;
    QHostAddress m_address;
    bool m_looking = false;
    QDeadlineTimer m_retryAt;
    bool m_failureReported = false;
};

} // namespace pvx::platform
