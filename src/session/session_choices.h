#pragma once

namespace pvx::session {

/// The session window's two status lines, each with its lamp.
enum class StatusLine {
    Serial,
    Network,
};

/// Which end of the TCP connection this PC is.
enum class Role {
    Client,
    Server,
};

/// Where a server sends the data that arrives on the serial side.
enum class ServerSerial {
    AllClients,
    Ignore,
    FirstClientOnly,
};

/// Which clients' data a server passes to the serial side.
enum class ServerTcp {
    AllClients,
    Ignore,
    FirstClientOnly,
};

/// Which directions a client moves data in.
enum class ClientIo {
    TwoWay,
    NoSerialOutput,
    NoNetworkOutput,
};

/// The flow-control choice; Opto-RS is hardware handshaking with the line
/// setting off.
enum class FlowControl {
    None,
    XonXoff,
    Hardware,
    OptoRs,
};

} // namespace pvx::session
