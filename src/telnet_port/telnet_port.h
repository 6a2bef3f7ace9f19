#pragma once

#include "telnet_port/com_port_message.h"
#include "telnet_port/iac_doubling.h"
#include "telnet_port/option_negotiation.h"
#include "telnet_port/telnet_event.h"
#include "telnet_port/telnet_reader.h"

namespace pvx::telnet_port {

/// One Telnet connection carrying a serial line with COM-PORT-OPTION: bytes
/// from the peer in, data, answers and events out. It does no I/O, keeps no
/// time and holds no more than one short subnegotiation between calls, so one
/// instance per TCP connection costs a few dozen bytes.
///
/// Server role (this side has the device):
///   TelnetPort port(Role::Server);
///   socket.write(port.start());                // BINARY, SGA, DO COM-PORT-OPTION
///   TelnetInput in = port.receive(chunk);      // every chunk read from the client
///   socket.write(in.reply);
///   for each event: a ComPortMessage is a request. Apply it unless
///   isQuery(), then answer with the value in effect:
///   socket.write(port.encode({command, valueInEffect}));
///   The option coming into effect, a new SET-MODEMSTATE-MASK and a
///   client's NOTIFY-MODEMSTATE (a poll) are answered with the modem state:
///   socket.write(port.encode({ComPortCommand::NotifyModemState, code}));
///   FLOWCONTROL-SUSPEND/-RESUME get no answer; the device's data goes out
///   as socket.write(doubleIac(payload)), payload.size() being what counts.
///
/// Client role (this side stands for a device on a remote server):
///   TelnetPort port(Role::Client);
///   socket.write(port.start());                // BINARY, SGA, WILL COM-PORT-OPTION
///   socket.write(port.encode({ComPortCommand::SetBaudRate, 19200}));
///   ...same receive() as the server; a ComPortMessage is now the server's
///   answer or notification (NOTIFY-MODEMSTATE: modemLinesFromCode()), and
///   ComPortOptionChanged{false} says the server refused the option: the
///   connection goes on as plain Telnet. Data is never held for an answer.
class TelnetPort {
public:
    explicit TelnetPort(Role role);

    Role role() const { return m_role; }

    /// The negotiation that opens the connection, to be sent first.
    QByteArray start();

    /// Reads one chunk from the peer. A chunk without 0xFF, outside a
    /// command, comes back as `data` without being copied.
    TelnetInput receive(const QByteArray &wire);

    /// `message` as this side sends it: a request from a client, an answer or
    /// notification from a server.
    QByteArray encode(const ComPortMessage &message) const { return encodeComPort(message, m_role); }

    /// Whether both sides have agreed to COM-PORT-OPTION.
    bool comPortEnabled() const { return m_options.comPortEnabled(); }

private:
    Role m_role;
    TelnetReader m_reader;
    OptionNegotiation m_options;
};

} // namespace pvx::telnet_port
