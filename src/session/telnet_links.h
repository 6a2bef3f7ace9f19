#pragma once

#include "platform/serial_port.h"
#include "telnet_port/com_port_values.h"
#include "telnet_port/telnet_port.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace pvx::session {

/// What a session that speaks Telnet with the COM port option keeps about
/// each of its TCP connections, by socket index. A socket that carries a new
/// connection starts afresh. It sends nothing itself: the session does.
class TelnetLinks {
public:
    struct Link {
        explicit Link(telnet_port::Role role) : port(role) {}

        telnet_port::TelnetPort port;
        /// Which connection of the socket this state belongs to.
        std::uint64_t connection = 0;
        /// Which modem-line changes the peer wants to hear of (server role).
        quint8 modemMask = 255;
        /// What the peer was last told of the modem lines, from the moment
        /// the option is in effect (server role).
        std::optional<telnet_port::ModemLines> modemSent;
        /// The server's last modem-state notification (client role).
        std::optional<telnet_port::ModemLines> modemHeard;
        /// A refusal was logged: a setting the device refused, or the
        /// option refused by the server.
        bool refusalLogged = false;
        /// A malformed or endless message from the peer was logged.
        bool malformedLogged = false;
        /// A missing answer, or one other than the request, was logged
        /// (client role).
        bool answerLogged = false;
        /// A request and the pump ticks it has waited for its answer.
        struct Asked {
            telnet_port::ComPortMessage request;
            int ticks = 0;
        };
        /// What this side asked for last, by command (client role).
        std::vector<Asked> asked;
    };

    explicit TelnetLinks(telnet_port::Role role) : m_role(role) {}

    telnet_port::Role role() const { return m_role; }

    /// A fresh state for socket `index`, which now carries `connection`.
    Link &start(int index, std::uint64_t connection);
    /// The state of socket `index` while it carries `connection`; nothing
    /// when that connection was never started.
    Link *find(int index, std::uint64_t connection);
    const Link *find(int index, std::uint64_t connection) const;

    /// The control lines as this side last set or was asked to set them.
    bool dtr = true;
    bool rts = true;
    bool breakOn = false;
    /// Until a poll finds none: a server's device may have modem lines.
    bool deviceHasModemLines = true;

    /// The line a client-role virtual port showed when the session began,
    /// and when it was last looked at: what the program on it changed is sent.
    std::optional<platform::SerialSettings> lineAtStart;
    std::optional<platform::SerialSettings> lineSeen;

private:
    telnet_port::Role m_role;
    /// Links stay where they are while others start: handlers hold them.
    std::vector<std::unique_ptr<Link>> m_links;
};

} // namespace pvx::session
