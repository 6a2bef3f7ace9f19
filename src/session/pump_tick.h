#pragma once

#include <functional>
#include <memory>
#include <vector>

namespace pvx::platform {
class Timer;
class TimerFactory;
}

namespace pvx::session {

/// The one pump tick of the program. It serves the sessions that have
/// something pending: every tick runs the pump of each, and a session whose
/// pump leaves nothing pending is no longer served until it is woken again.
/// While no session is served the timer is stopped, so idle sessions cost
/// no wake-ups at all.
class PumpTick {
public:
    /// One session's place at the tick. It leaves the tick when destroyed,
    /// also from inside a tick.
    class Member {
    public:
        /// `pump` runs one pump; `pending` answers whether the next tick
        /// still has something to do.
        Member(PumpTick &tick, std::function<void()> pump, std::function<bool()> pending);
        ~Member();
        Member(const Member &) = delete;
        Member &operator=(const Member &) = delete;

        /// Something may be pending: served from the next tick on.
        void wake();
        bool served() const { return m_served; }

    private:
        friend class PumpTick;
        PumpTick &m_tick;
        std::function<void()> m_pump;
        std::function<bool()> m_pending;
        bool m_served = false;
        /// Set while the pump runs, so that the tick learns when the pump
        /// destroyed its own session.
        bool *m_destroyed = nullptr;
    };

    /// Bounds what one tick serves: `begins` runs as a tick starts, and the
    /// tick serves no further member once `over` answers true. The members
    /// it did not reach come first at the next tick, in their order.
    struct Turn {
        std::function<void()> begins;
        std::function<bool()> over;
    };

    PumpTick(platform::TimerFactory &timers, int intervalMs, Turn turn = {});
    ~PumpTick();
    PumpTick(const PumpTick &) = delete;
    PumpTick &operator=(const PumpTick &) = delete;

    /// Sessions being served.
    std::size_t servedCount() const;

private:
    void serve(Member &member);
    void drop(Member &member);
    void onTick();

    std::unique_ptr<platform::Timer> m_timer;
    Turn m_turn;
    /// Served members in the order they were woken; a member that leaves
    /// during a tick becomes null until the tick ends.
    std::vector<Member *> m_served;
    /// Ticks running: more than one when a pump runs a nested event loop.
    int m_depth = 0;
};

} // namespace pvx::session
