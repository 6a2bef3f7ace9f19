#include "session/turn_share.h"

#include "session/flow_limits.h"

#include <utility>

namespace pvx::session {

TurnShare::Member::Member(TurnShare &share, std::function<void()> resume, std::function<bool()> held)
    : m_share(share), m_place(share.m_line, std::move(resume), std::move(held))
{
}

bool TurnShare::Member::admit()
{
    // In line already: its turn moves this too.
    if (m_place.served())
        return false;
    if (!m_busy || m_share.m_spent < kTurnWork)
        return true;
    // Alone, it keeps no one waiting.
    if (m_share.m_soleMover == this)
        return true;
    m_place.wake();
    return false;
}

void TurnShare::Member::moved(qint64 bytes)
{
    m_busy = bytes >= kBusyHandling;
    m_share.m_soleMover = m_share.m_spent == 0 || m_share.m_soleMover == this ? this : nullptr;
    m_share.m_spent += bytes + kHandlingWork;
}

TurnShare::TurnShare(platform::TimerFactory &timers)
    : m_line(timers, 0, {.begins = [this] { beginTurn(); }, .over = [this] { return m_spent >= kTurnWork; }})
{
}

void TurnShare::beginTurn()
{
    m_spent = 0;
    m_soleMover = nullptr;
}

} // namespace pvx::session
