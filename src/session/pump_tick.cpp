#include "session/pump_tick.h"

#include "platform/timer.h"

#include <algorithm>
#include <utility>

namespace pvx::session {

PumpTick::Member::Member(PumpTick &tick, std::function<void()> pump, std::function<bool()> pending)
    : m_tick(tick), m_pump(std::move(pump)), m_pending(std::move(pending))
{
}

PumpTick::Member::~Member()
{
    if (m_destroyed)
        *m_destroyed = true;
    if (m_served)
        m_tick.drop(*this);
}

void PumpTick::Member::wake()
{
    if (!m_served)
        m_tick.serve(*this);
}

PumpTick::PumpTick(platform::TimerFactory &timers, int intervalMs, Turn turn)
    : m_timer(timers.create()), m_turn(std::move(turn))
{
    m_timer->setInterval(intervalMs);
    m_timer->setTimeout([this] { onTick(); });
}

PumpTick::~PumpTick() = default;

std::size_t PumpTick::servedCount() const
{
    return static_cast<std::size_t>(std::count_if(m_served.begin(), m_served.end(), [](Member *m) { return m; }));
}

void PumpTick::serve(Member &member)
{
    member.m_served = true;
    m_served.push_back(&member);
    if (!m_timer->isActive())
        m_timer->start();
}

void PumpTick::drop(Member &member)
{
    member.m_served = false;
    const auto at = std::find(m_served.begin(), m_served.end(), &member);
    if (at == m_served.end())
        return;
    // A running tick indexes the list: it is compacted when the tick ends.
    if (m_depth > 0)
        *at = nullptr;
    else
        m_served.erase(at);
}

void PumpTick::onTick()
{
    ++m_depth;
    // Sessions woken during this tick wait for the next one, as they would
    // have on a timer of their own.
    if (m_turn.begins)
        m_turn.begins();
    const std::size_t count = m_served.size();
    for (std::size_t i = 0; i < count && !(m_turn.over && m_turn.over()); ++i) {
        Member *member = m_served[i];
        if (!member)
            continue;
        bool destroyed = false;
        bool *outer = std::exchange(member->m_destroyed, &destroyed);
        member->m_pump();
        if (destroyed) {
            if (outer)
                *outer = true;
            continue;
        }
        member->m_destroyed = outer;
        if (m_served[i] == member && !member->m_pending())
            drop(*member);
    }
    if (--m_depth > 0)
        return;
    std::erase(m_served, nullptr);
    if (m_served.empty())
        m_timer->stop();
}

} // namespace pvx::session
