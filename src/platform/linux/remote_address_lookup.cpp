#include "platform/linux/remote_address_lookup.h"

#include "platform/linux/connect_attempts.h"

namespace pvx::platform {

namespace {

constexpr int kRetryMs = 5000;

} // namespace

RemoteAddressLookup::RemoteAddressLookup(HostResolver &resolver, std::function<void(const QString &)> failed)
    : m_resolver(resolver), m_failed(std::move(failed))
{
}

RemoteAddressLookup::~RemoteAddressLookup()
{
    forgetLookup();
}

std::optional<QHostAddress> RemoteAddressLookup::address(const QString &host)
{
    if (const QHostAddress literal = literalAddress(host); !literal.isNull())
        return literal;
    if (host != m_host) {
        forgetLookup();
        m_host = host;
        m_address.clear();
        m_retryAt = QDeadlineTimer();
        m_failureReported = false;
    }
    if (!m_address.isNull())
        return m_address;
    if (m_lookupId == 0 && m_retryAt.hasExpired())
        m_lookupId = m_resolver.lookupAll(host, [this](const QStringList &addresses) { finished(addresses); });
    return std::nullopt;
}

void RemoteAddressLookup::forgetLookup()
{
    if (m_lookupId != 0)
        m_resolver.cancel(m_lookupId);
    m_lookupId = 0;
}

void RemoteAddressLookup::finished(const QStringList &addresses)
{
    m_lookupId = 0;
    // Datagrams have no connection to fail over with: the resolver's first
    // choice, of either family, is the one they go to.
    for (const QString &text : addresses) {
        if (const QHostAddress candidate(text); !candidate.isNull()) {
            m_address = candidate;
            m_failureReported = false;
            return;
        }
    }
    m_retryAt.setRemainingTime(kRetryMs);
    if (m_failureReported)
        return;
    m_failureReported = true;
    m_failed(QStringLiteral("Host not found: %1; datagrams to it are dropped until it resolves").arg(m_host));
}

} // namespace pvx::platform
