#pragma once

#include <QString>

namespace pvx::platform {

/// Which end of its connections a TLS set-up serves.
enum class TlsRole {
    Server,
    Client,
};

/// What a network side's TLS connections are made with. Paths are absolute.
struct TlsSettings {
    TlsRole role = TlsRole::Server;
    /// PEM: a server's own certificate chain and key (both required); a
    /// client's certificate and key to present (both optional, together).
    QString certificateFile;
    QString keyFile;
    /// A PEM file or a folder of PEM files with the certificates to trust;
    /// empty: the system's trust store.
    QString trustPath;
    /// Server: 0 asks no client certificate, 1 checks one if the client
    /// gives it, 2 requires one. Client: 0 takes any server certificate
    /// (for tests only), anything else checks its chain and its name.
    int verifyPeer = 1;
};

/// Certificates, key and trust loaded once for all the connections of a
/// side; a socket given it speaks TLS on its next connection.
class TlsSetup {
public:
    virtual ~TlsSetup() = default;
};

} // namespace pvx::platform
