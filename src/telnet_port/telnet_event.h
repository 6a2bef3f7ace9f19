#pragma once

#include "telnet_port/com_port_message.h"

#include <QByteArray>

#include <variant>
#include <vector>

namespace pvx::telnet_port {

/// Why a subnegotiation was thrown away.
enum class DropReason {
    TooLong,       ///< longer than the reader keeps (see TelnetReader)
    Interrupted,   ///< empty, or cut short by another command
    NotUnderstood, ///< a COM-PORT-OPTION message of unknown code, wrong direction or wrong length
};

/// COM-PORT-OPTION came into effect (both sides agreed) or went out of it
/// (the peer refused or withdrew it).
struct ComPortOptionChanged {
    bool enabled = false;

    friend bool operator==(const ComPortOptionChanged &, const ComPortOptionChanged &) = default;
};

struct SubnegotiationDropped {
    DropReason reason = DropReason::TooLong;

    friend bool operator==(const SubnegotiationDropped &, const SubnegotiationDropped &) = default;
};

/// Something the peer said besides data.
struct TelnetEvent {
    /// How many bytes of the data returned with the event arrived before it
    /// (a purge or a new rate applies from there on).
    qsizetype dataOffset = 0;
    std::variant<ComPortMessage, ComPortOptionChanged, SubnegotiationDropped> what;
};

/// What one chunk from the peer held.
struct TelnetInput {
    /// The payload, 0xFF made single; bytes pass unchanged otherwise
    /// (CR NUL included), whether or not BINARY was agreed.
    QByteArray data;
    /// Answers to the peer's negotiation, to be sent to it as they are.
    QByteArray reply;
    /// In arrival order; never more than the chunk had commands.
    std::vector<TelnetEvent> events;
};

} // namespace pvx::telnet_port
