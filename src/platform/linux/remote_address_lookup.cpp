#include "platform/linux/remote_address_lookup.h"

#include <QHostInfo>

namespace pvx::platform {

namespace {

constexpr int kRetryMs = 5000;

} // namespace

RemoteAddressLookup::RemoteAddressLookup(std::function<void(const QString &)> failed) : m_failed(std::move(failed))
{
}

std::optional<QHostAddress> RemoteAddressLookup::address(const QString &host)
{
    QHostAddress literal;
    if (literal.setAddress(host))
        return literal;
    if (host != m_host) {
        m_host = host;
        m_address.clear();
        m_looking = false;
        m_retryAt = QDeadlineTimer();
        m_failureReported = false;
    }
    if (!m_address.isNull())
        return m_address;
    if (!m_looking && m_retryAt.hasExpired()) {
        m_looking = true;
        QHostInfo::lookupHost(host, &m_context, [this, host](const QHostInfo &info) { finished(host, info); });
    }
    return std::nullopt;
}

void RemoteAddressLookup::finished(const QString &host, const QHostInfo &info)
{
    // A lookup for a name given up meanwhile tells nothing.
    if (host != m_host)
        return;
    m_looking = false;
    for (const QHostAddress &candidate : info.addresses()) {
        if (candidate.protocol() == QAbstractSocket::IPv4Protocol) {
            m_address = candidate;
            m_failureReported = false;
            return;
        }
    }
    m_retryAt.setRemainingTime(kRetryMs);
    if (m_failureReported)
        return;
    m_failureReported = true;
    m_failed(QStringLiteral("Host not found: %1; datagrams to it are dropped until it resolves").arg(host));
}

} // namespace pvx::platform
