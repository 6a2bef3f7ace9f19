#pragma once

#include "session/pump_tick.h"

#include <QtGlobal>

#include <functional>

namespace pvx::platform {
class TimerFactory;
}

namespace pvx::session {

/// Shares the passes of the event loop between busy sessions. An event is
/// handled in the pass of the loop that reports it, and a pass lasts as long
/// as all the handlers it runs: with hundreds of sessions streaming, a quiet
/// session's few bytes waited for all of them, tens of milliseconds. So the
/// work of a turn is counted (kTurnWork), and once it is used up a session
/// whose last handling moved much (busy) does not go on but waits in line.
/// The line is served once the events of the pass have run, in order, for
/// one turn's work; who is not reached waits for the next pass. A session
/// that moves little is never held, nor one that has the turn to itself.
class TurnShare {
public:
    /// One session's place in the share. It leaves the line when destroyed.
    class Member {
    public:
        /// `resume` moves, at the session's turn, what it was held from;
        /// `held` answers whether something is still held after it (held
        /// during the turn itself), which keeps the session in line.
        Member(TurnShare &share, std::function<void()> resume, std::function<bool()> held);

        /// Whether the session may move data now; if not, it is in line and
        /// its `resume` runs at its turn.
        bool admit();
        /// Reports what one handling moved.
        void moved(qint64 bytes);

    private:
        TurnShare &m_share;
        PumpTick::Member m_place;
        bool m_busy = false;
    };

    explicit TurnShare(platform::TimerFactory &timers);

    /// Sessions waiting for their turn.
    std::size_t waitingCount() const { return m_line.servedCount(); }

private:
    void beginTurn();

    qint64 m_spent = 0;
    /// The one member that did all the work of this turn, if there is one.
    const Member *m_soleMover = nullptr;
    /// Served at the next pass while anyone waits: a zero-interval tick.
    PumpTick m_line;
};

} // namespace pvx::session
