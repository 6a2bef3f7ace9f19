#include "platform/linux/connect_attempts.h"

#include "platform/socket.h"

namespace pvx::platform {

QHostAddress literalAddress(const QString &host)
{
    QString text = host.trimmed();
    const bool bracketed = text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']'));
    if (bracketed)
        text = text.mid(1, text.size() - 2);
    QHostAddress address;
    // Brackets are for IPv6 alone: "[127.0.0.1]" is nobody's way of writing it.
    if (!address.setAddress(text) || (bracketed && address.protocol() != QAbstractSocket::IPv6Protocol))
        return {};
    return address;
}

ConnectAttempts::ConnectAttempts(HostResolver &resolver, std::unique_ptr<Timer> patience, Steps steps)
    : m_resolver(resolver), m_patience(std::move(patience)), m_steps(std::move(steps))
{
    m_patience->setInterval(kPatienceMs);
    m_patience->setTimeout([this] { attemptFailed(kErrorTimedOut, QStringLiteral("Connection timed out")); });
}

ConnectAttempts::~ConnectAttempts()
{
    stop();
}

void ConnectAttempts::start(const QString &host)
{
    stop();
    if (const QHostAddress literal = literalAddress(host); !literal.isNull()) {
        m_steps.attempt(literal);
        return;
    }
    m_lookupId = m_resolver.lookupAll(host.trimmed(), [this](const QStringList &addresses) { onResolved(addresses); });
}

void ConnectAttempts::attemptFailed(int number, const QString &description)
{
    m_patience->stop();
    tryNext(number, description);
}

void ConnectAttempts::stop()
{
    if (m_lookupId != 0)
        m_resolver.cancel(m_lookupId);
    m_lookupId = 0;
    m_patience->stop();
    m_waiting.clear();
}

void ConnectAttempts::onResolved(const QStringList &addresses)
{
    m_lookupId = 0;
    for (const QString &text : addresses) {
        if (const QHostAddress address(text); !address.isNull())
            m_waiting.append(address);
    }
    tryNext(kErrorHostNotFound, QStringLiteral("Host not found"));
}

void ConnectAttempts::tryNext(int number, const QString &description)
{
    if (m_waiting.isEmpty()) {
        m_steps.failed(number, description);
        return;
    }
    const QHostAddress next = m_waiting.takeFirst();
    // Only an attempt with another address behind it is cut short.
    if (!m_waiting.isEmpty())
        m_patience->start();
    m_steps.attempt(next);
}

} // namespace pvx::platform
