#include "session/peer_gate.h"

#include "session/side_status.h"

namespace pvx::session {

using resources::StringId;

PeerGate::PeerGate(const SideStatus &status, std::function<void(const QString &text)> log)
    : m_status(status), m_log(std::move(log))
{
}

platform::Result<void> PeerGate::load(const QString &list)
{
    auto parsed = AddressFilter::parse(list);
    if (!parsed)
        return platform::makeError(parsed.error().code,
                                   m_status.text(StringId::AllowFromInvalid).arg(parsed.error().detail));
    m_filter = std::move(parsed.value());
    m_refusalCount = 0;
    return {};
}

bool PeerGate::admits(const QString &address, RefusalLog::Clock::time_point now)
{
    if (m_filter.allows(address))
        return true;
    ++m_refusalCount;
    if (m_refusals.shouldLog(address, now))
        m_log(m_status.text(StringId::PeerRefused).arg(address));
    return false;
}

void PeerGate::reportFailedHandshake(const QString &address, const QString &reason, RefusalLog::Clock::time_point now)
{
    ++m_refusalCount;
    if (m_refusals.shouldLog(address, now))
        m_log(m_status.text(StringId::HandshakeFailed).arg(address, reason));
}

} // namespace pvx::session
