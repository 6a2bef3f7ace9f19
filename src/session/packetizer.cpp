#include "session/packetizer.h"

namespace pvx::session {

void Packetizer::inputArrived(const Rules &rules)
{
    // Without packets the data went already; what is left waits for a
    // client or for room, and is retried at every time-out, however much
    // arrives meanwhile.
    if (rules.packetMode)
        m_idleTicks = 0;
}

Packetizer::Piece Packetizer::dueOnArrival(const Rules &rules) const
{
    if (!rules.packetMode)
        return {m_queue.count(), false};
    if (m_queue.count() < rules.packetSize)
        return {};
    return {rules.packetSize, true};
}

Packetizer::Piece Packetizer::dueOnTick(double timeoutMs)
{
    if (m_queue.count() == 0)
        return {};
    ++m_idleTicks;
    if (m_idleTicks * static_cast<double>(m_tickIntervalMs) <= timeoutMs)
        return {};
    m_idleTicks = 0;
    return {m_queue.count(), false};
}

} // namespace pvx::session
