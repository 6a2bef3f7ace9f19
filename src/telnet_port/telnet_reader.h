#pragma once

#include "telnet_port/telnet_event.h"

#include <QByteArray>
#include <QByteArrayView>

namespace pvx::telnet_port {

/// Splits a Telnet byte stream into data and commands, chunk by chunk: a
/// command or subnegotiation cut between two chunks is finished by the next.
/// Holds at most one subnegotiation body (kMaxSubnegotiation bytes).
class TelnetReader {
public:
    /// The longest subnegotiation body kept, option byte included; a longer
    /// one is dropped whole.
    static constexpr qsizetype kMaxSubnegotiation = 64;

    /// Receives the commands in stream order; called from inside read(), when
    /// the data before the command has already been appended.
    class Handler {
    public:
        /// WILL, WONT, DO or DONT for `option`.
        virtual void negotiation(quint8 verb, quint8 option) = 0;
        /// A complete subnegotiation: its option byte, then the value with
        /// every doubled 0xFF made single.
        virtual void subnegotiation(QByteArrayView body) = 0;
        /// A subnegotiation thrown away (TooLong: over kMaxSubnegotiation
        /// bytes, or Interrupted); raised once for each.
        virtual void subnegotiationDropped(DropReason reason) = 0;

    protected:
        ~Handler() = default;
    };

    /// Appends the data in `wire` to `data` (a doubled 0xFF as one byte, other
    /// commands such as NOP and GA left out) and hands commands to `handler`.
    /// A stretch without 0xFF is copied whole after one scan; a chunk that is
    /// all data, given with `data` empty, is shared rather than copied.
    void read(const QByteArray &wire, QByteArray &data, Handler &handler);

private:
    enum class State {
        Data,
        Command,        ///< after IAC
        Option,         ///< after IAC and a negotiation verb
        Subnegotiation,
        SubnegotiationCommand, ///< after IAC inside a subnegotiation
    };

    void command(quint8 byte);
    void subnegotiationByte(quint8 byte, Handler &handler);
    /// Adds one value byte to the body, or drops the body past the limit.
    void keep(quint8 byte, Handler &handler);
    void subnegotiationCommand(quint8 byte, Handler &handler);

    State m_state = State::Data;
    quint8 m_verb = 0;
    QByteArray m_body;
    bool m_tooLong = false;
};

} // namespace pvx::telnet_port
