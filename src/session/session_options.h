#pragma once

#include <QString>
#include <QtGlobal>

namespace pvx::session {

/// The option fields of a session: network routing, the virtual-port link,
/// the login texts and the remote line control.
struct SessionOptions {
    qint16 AllowMultiConnect = 1;
    /// 0 serial data to all clients, 1 ignore it, 2 first connected client only.
    qint16 ServerSerialOptions = 0;
    /// 0 data from all clients to the serial side, 1 ignore it, 2 first client only.
    qint16 ServerTCPOptions = 0;
    /// 0 both ways, 1 nothing to the serial side, 2 nothing to the network.
    qint16 ClientOptions = 0;
    /// A client connects only while the virtual port is open.
    qint16 ConnectOnVirtualOpen = 0;
    QString UserPrompt;
    QString UserPromptResponse;
    QString PasswordPrompt;
    QString PasswordPromptResponse;
    /// The TCP connections speak Telnet with the COM port option (RFC 2217).
    qint16 Rfc2217 = 0;
    /// The TCP connections are encrypted (kept; not acted on yet).
    qint16 Tls = 0;
    /// PEM files: a server's own certificate chain and key, a client's
    /// optional client certificate and key; relative to the Porvix home.
    QString TlsCertificate;
    QString TlsKey;
    /// A PEM file or folder of certificates to trust; empty: the system's.
    QString TlsTrust;
    /// Server: 0 asks no client certificate, 1 checks one if given, 2
    /// requires one. Client: 0 does not check the server's certificate.
    qint16 TlsVerifyPeer = 1;
    /// Addresses and CIDR ranges of either family that may reach a server
    /// or send to a UDP session, separated by commas or blanks; empty:
    /// everyone.
    QString AllowFrom;
    /// Where the trace goes while the session is active (relative: from the
    /// Porvix home); empty: no trace file.
    QString TraceFile;
    /// 1: the trace file shows the bytes; 0: only the events and counts.
    qint16 TraceBytes = 1;

    bool operator==(const SessionOptions &) const = default;
};

} // namespace pvx::session
