#pragma once

#include "session/session_choices.h"

#include <QString>

#include <optional>

namespace pvx::session {

/// Bytes a session moved since its last activation. Each byte is counted
/// once, where it leaves the session's transfer buffer for the other side:
/// serial data when it is handed to the network (once, however many clients
/// get it), network data when the serial side takes it. What is thrown away
/// is not counted.
struct ByteCounters {
    qint64 toNetwork = 0;
    qint64 toSerial = 0;
};

/// What one session is doing, for a status query.
struct SessionStatus {
    /// The user's name for the window, or the connector when it has none.
    QString name;
    /// The connector text, which is also the session's command topic.
    QString connector;
    Role role = Role::Client;
    bool udp = false;
    /// The local address a server binds to, the remote host of a client.
    QString address;
    int port = 0;
    /// The two status lines.
    QString serial;
    QString network;
    /// Connected clients of a server; 1 for a connected TCP client session.
    int clients = 0;
    ByteCounters moved;
    /// Bytes waiting in the transfer buffers for the network and for the
    /// serial side.
    qint64 heldToNetwork = 0;
    qint64 heldToSerial = 0;
    /// The modem lines the server last reported to a client session with
    /// remote line control ("CTS DSR", "none", "unknown"); nothing otherwise.
    std::optional<QString> modem;
    /// Peers turned away: not in AllowFrom, or failing the TLS handshake.
    qint64 refused = 0;
};

} // namespace pvx::session
