#include "platform/linux/openssl_context.h"

#include "platform/linux/tls_credentials.h"
#include "platform/linux/tls_pem_file.h"
#include "platform/linux/tls_trust.h"

#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace pvx::platform {

namespace {

// Any fixed text: it only keeps sessions of this program's servers apart from
// those of others sharing a session cache, which no one does here.
constexpr unsigned char kSessionIdContext[] = "porvix";

int refusePassphrase(char *, int, int, void *)
{
    return -1;
}

int verifyMode(TlsRole role, int verifyPeer)
{
    if (verifyPeer <= 0)
        return SSL_VERIFY_NONE;
    if (role == TlsRole::Server && verifyPeer >= 2)
        return SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT;
    return SSL_VERIFY_PEER;
}

Result<void> useOwnCertificate(SSL_CTX *context, const TlsSettings &settings)
{
    const bool hasCertificate = !settings.certificateFile.isEmpty();
    const bool hasKey = !settings.keyFile.isEmpty();
    if (settings.role == TlsRole::Server && !(hasCertificate && hasKey))
        return makeError(ErrorCode::InvalidArgument, QStringLiteral("A TLS server needs a certificate and its key"));
    if (hasCertificate != hasKey)
        return makeError(ErrorCode::InvalidArgument,
                         QStringLiteral("A TLS client needs both a certificate and its key, or neither"));
    if (!hasCertificate)
        return {};
    return useCertificateAndKey(context, settings.certificateFile, settings.keyFile);
}

// The text an address literal is checked with: `[::1]` and `fe80::1%eth0`
// as the plain address; empty when `name` is a host name.
QByteArray addressLiteral(const QString &name)
{
    QString text = name;
    if (text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']')))
        text = text.mid(1, text.size() - 2);
    const qsizetype zone = text.indexOf(QLatin1Char('%'));
    if (zone >= 0 && text.contains(QLatin1Char(':')))
        text.truncate(zone);
    const QByteArray latin = text.toLatin1();
    unsigned char address[sizeof(in6_addr)];
    if (::inet_pton(AF_INET, latin.constData(), address) == 1 || ::inet_pton(AF_INET6, latin.constData(), address) == 1)
        return latin;
    return {};
}

} // namespace

void SslFree::operator()(SSL *ssl) const
{
    SSL_free(ssl);
}

void SslContextFree::operator()(SSL_CTX *context) const
{
    SSL_CTX_free(context);
}

OpenSslContext::OpenSslContext(TlsRole role, bool checkPeer, SSL_CTX *context)
    : m_role(role)
    , m_checkPeer(checkPeer)
    , m_context(context)
{
}

Result<std::shared_ptr<OpenSslContext>> OpenSslContext::load(const TlsSettings &settings)
{
    const bool server = settings.role == TlsRole::Server;
    SSL_CTX *raw = SSL_CTX_new(server ? TLS_server_method() : TLS_client_method());
    if (!raw)
        return makeError(ErrorCode::Unsupported, QStringLiteral("TLS cannot be set up: ") + takeOpenSslReason());
    std::shared_ptr<OpenSslContext> setup(new OpenSslContext(settings.role, settings.verifyPeer > 0, raw));
    SSL_CTX *context = setup->m_context.get();

    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    // The peer closing without close_notify reads as an orderly end, as a
    // plain TCP close does: the bridge has no truncation to guard against.
    SSL_CTX_set_options(context, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION | SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(context, SSL_MODE_RELEASE_BUFFERS | SSL_MODE_ENABLE_PARTIAL_WRITE
                                  | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_default_passwd_cb(context, refusePassphrase);
    SSL_CTX_set_verify(context, verifyMode(settings.role, settings.verifyPeer), nullptr);
    if (server)
        SSL_CTX_set_session_id_context(context, kSessionIdContext, sizeof kSessionIdContext - 1);

    if (auto own = useOwnCertificate(context, settings); !own)
        return own.error();
    // Without a peer check there is nothing to trust: a stale trust path
    // does not keep such a side from starting.
    if (settings.verifyPeer > 0) {
        if (auto trust = useTrust(context, settings.trustPath, server); !trust)
            return trust.error();
    }
    return setup;
}

Result<SslHandle> OpenSslContext::newConnection(const QString &peerName) const
{
    SslHandle ssl(SSL_new(m_context.get()));
    if (!ssl)
        return makeError(ErrorCode::IoError, QStringLiteral("TLS cannot start: ") + takeOpenSslReason());
    if (m_role == TlsRole::Server)
        return ssl;

    const QByteArray address = addressLiteral(peerName);
    const QByteArray host = peerName.toUtf8();
    if (m_checkPeer && peerName.isEmpty())
        return makeError(ErrorCode::InvalidArgument, QStringLiteral("No server name to check the certificate against"));
    // OpenSSL takes the name as a C string: one cut short by a NUL would be
    // checked in place of the whole.
    if (host.contains('\0'))
        return makeError(ErrorCode::InvalidArgument, QStringLiteral("The server name holds a NUL character"));
    bool named = true;
    if (address.isEmpty() && !host.isEmpty())
        // SSL_set_tlsext_host_name spelled out: the macro casts in C style.
        named = SSL_ctrl(ssl.get(), SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                         const_cast<char *>(host.constData()))
            == 1;
    if (named && m_checkPeer) {
        SSL_set_hostflags(ssl.get(), X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        named = address.isEmpty() ? SSL_set1_host(ssl.get(), host.constData()) == 1
                                  : X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl.get()), address.constData()) == 1;
    }
    if (!named)
        return makeError(ErrorCode::InvalidArgument,
                         QStringLiteral("%1 cannot be checked as a TLS server name: ").arg(peerName)
                             + takeOpenSslReason());
    return ssl;
}

} // namespace pvx::platform
