#pragma once

#include "telnet_port/telnet_codes.h"

#include <QByteArray>

#include <array>
#include <optional>

namespace pvx::telnet_port {

/// The option state of one connection, kept both ways (what this side
/// performs, what the peer performs) as RFC 1143 lays out: an answer is sent
/// only when a request changes a state, so two sides can never echo each
/// other for ever. BINARY and SUPPRESS-GO-AHEAD are welcome both ways;
/// COM-PORT-OPTION only as the client performing it; anything else is refused.
class OptionNegotiation {
public:
    explicit OptionNegotiation(Role role);

    /// The requests that open the connection: WILL and DO for BINARY and
    /// SUPPRESS-GO-AHEAD, then WILL COM-PORT-OPTION (client) or DO (server).
    /// Options already settled are not asked again.
    QByteArray offers();

    /// Applies `verb` (WILL, WONT, DO or DONT) for `option` from the peer and
    /// appends the answer it needs, if any, to `reply`. Returns whether
    /// COM-PORT-OPTION is now in effect when this request settled or changed it.
    std::optional<bool> receive(quint8 verb, quint8 option, QByteArray &reply);

    /// Whether both sides have agreed to COM-PORT-OPTION.
    bool comPortEnabled() const;

    /// The peer sent a COM-PORT-OPTION message. Asked to take the option, a
    /// peer that uses it has agreed even without saying so (some clients take
    /// this side's request as settling it). True when that brought the
    /// option into effect.
    bool comPortUsed();

private:
    enum class State {
        No,
        Yes,
        WantYes, ///< asked for, no answer yet
    };
    struct Option {
        quint8 code;
        bool acceptLocal;  ///< this side will perform it
        bool acceptRemote; ///< the peer may perform it
        State local = State::No;
        State remote = State::No;
    };

    Option *find(quint8 option);
    State &comPortState();
    State comPortState() const;

    Role m_role;
    std::array<Option, 3> m_options;
};

} // namespace pvx::telnet_port
