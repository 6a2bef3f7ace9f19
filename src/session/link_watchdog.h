#pragma once

#include "session/program_settings.h"

#include <QMap>
#include <QString>

#include <cstdint>
#include <functional>

namespace pvx::platform {
class IcmpEcho;
}
namespace pvx::tools {
struct EchoReply;
}

namespace pvx::session {

class ClientLinks;

/// What the link watch of every session shares: the program's echo, and
/// whether the log has said yet that this machine cannot send pings.
struct PingService {
    platform::IcmpEcho &echo;
    bool unavailableLogged = false;
};

/// Pings the peer of every connection of a session once the link has been
/// quiet for the period the global options choose, and ends each connection
/// whose peer does not answer. It counts the pump's ticks and has no timer
/// of its own. A pass never blocks: its replies are acted on as they come,
/// no new pass starts while one is waiting, and a reply counts only for the
/// connection it was sent for, not for a client that took the socket since.
class LinkWatchdog {
public:
    /// What the watchdog does to its session.
    struct Actions {
        /// Ends the connection of socket `index`; `reason` is the ping result.
        std::function<void(int index, const QString &reason)> close;
        std::function<void(const QString &text)> log;
    };

    LinkWatchdog(PingService &service, const ProgramSettings &settings, const ClientLinks &links, Actions actions);
    ~LinkWatchdog();
    LinkWatchdog(const LinkWatchdog &) = delete;
    LinkWatchdog &operator=(const LinkWatchdog &) = delete;

    /// Pump ticks between passes for the `PingFrequency` list position; no
    /// position (-1) gives a period below one, so every tick starts a pass.
    static int periodTicks(int pingFrequency);

    /// A pump tick of an active TCP session with nothing waiting to go to
    /// the network. Does nothing while pings are off in the global options.
    void tick();
    /// Data arrived: the link is alive, the period starts again.
    void dataArrived() { m_tickCount = 0; }
    /// The session is switched on or off: what is waiting is dropped and the
    /// period starts again.
    void restart();

    int tickCount() const { return m_tickCount; }
    bool passPending() const { return !m_pending.isEmpty(); }

private:
    struct Target {
        int index;
        std::uint64_t connection;
    };

    void startPass();
    void onReply(int token, Target target, const tools::EchoReply &reply);

    PingService &m_service;
    const ProgramSettings &m_settings;
    const ClientLinks &m_links;
    Actions m_actions;
    std::int32_t m_tickCount = 0;
    /// Echo request ids by our own token; 0 while the request is being sent.
    QMap<int, int> m_pending;
    int m_lastToken = 0;
};

} // namespace pvx::session
