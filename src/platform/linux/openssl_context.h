#pragma once

#include "platform/result.h"
#include "platform/tls.h"

#include <QString>

#include <openssl/types.h>

#include <memory>

namespace pvx::platform {

struct SslFree {
    void operator()(SSL *ssl) const;
};
struct SslContextFree {
    void operator()(SSL_CTX *context) const;
};
/// One TLS connection's state; freed with SSL_free.
using SslHandle = std::unique_ptr<SSL, SslFree>;

/// A TLS set-up on OpenSSL: TLS 1.2 and 1.3 only, no compression, no
/// renegotiation, the certificate, key and trust of its settings loaded once.
/// Used on the event-loop thread only.
class OpenSslContext final : public TlsSetup {
public:
    /// Loads and checks every file of `settings`. Fails, naming the file, on
    /// a file that is missing, unreadable or holds no PEM certificate or key;
    /// on a key that others may read, that is encrypted or that does not
    /// match its certificate; on a server without certificate and key, or a
    /// client with only one of them. No key material reaches the error text.
    static Result<std::shared_ptr<OpenSslContext>> load(const TlsSettings &settings);

    TlsRole role() const { return m_role; }

    /// A new connection's state, still without a BIO and a side: the caller
    /// sets both (SSL_set_bio, SSL_set_accept_state/SSL_set_connect_state).
    /// A client sends `peerName` as SNI when it is a host name and, unless
    /// its peer check is off, accepts only a certificate for it: a host name
    /// against the certificate's DNS names, an IPv4 or IPv6 literal (brackets
    /// and a `%zone` allowed) against its IP entries. A server ignores it.
    Result<SslHandle> newConnection(const QString &peerName) const;

private:
    OpenSslContext(TlsRole role, bool checkPeer, SSL_CTX *context);

    TlsRole m_role;
    bool m_checkPeer;
    std::unique_ptr<SSL_CTX, SslContextFree> m_context;
};

} // namespace pvx::platform
