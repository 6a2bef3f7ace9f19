#include "platform/linux/tls_failure_text.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace pvx::platform {

namespace {

QString peerOf(const SSL *ssl)
{
    return SSL_is_server(ssl) ? QStringLiteral("client") : QStringLiteral("server");
}

// The name a client checked the server's certificate against.
QString checkedName(SSL *ssl)
{
    X509_VERIFY_PARAM *param = SSL_get0_param(ssl);
    if (const char *host = X509_VERIFY_PARAM_get0_host(param, 0))
        return QString::fromUtf8(host);
    char *ip = X509_VERIFY_PARAM_get1_ip_asc(param);
    const QString name = ip ? QString::fromLatin1(ip) : QStringLiteral("the expected name");
    OPENSSL_free(ip);
    return name;
}

QString certificateText(SSL *ssl, long verifyResult)
{
    const QString certificate = QStringLiteral("The %1's certificate ").arg(peerOf(ssl));
    switch (verifyResult) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return certificate + QStringLiteral("has expired");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return certificate + QStringLiteral("is not valid yet");
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        return certificate + QStringLiteral("is not trusted (self-signed)");
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return certificate + QStringLiteral("is not trusted (unknown issuer)");
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
        return certificate + QStringLiteral("is not trusted (untrusted chain)");
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return certificate + QStringLiteral("is not for %1 (name mismatch)").arg(checkedName(ssl));
    default:
        return certificate + QStringLiteral("was refused: ")
            + QString::fromUtf8(X509_verify_cert_error_string(verifyResult));
    }
}

// Words for the queue's reasons that a user can act on; empty for others.
QString reasonText(const SSL *ssl, int reason)
{
    switch (reason) {
    case SSL_R_PEER_DID_NOT_RETURN_A_CERTIFICATE:
        return QStringLiteral("The client sent no certificate, and one is required");
    case SSL_R_TLSV13_ALERT_CERTIFICATE_REQUIRED:
        return QStringLiteral("The server requires a client certificate");
    case SSL_R_SSLV3_ALERT_BAD_CERTIFICATE:
    case SSL_R_SSLV3_ALERT_CERTIFICATE_UNKNOWN:
    case SSL_R_SSLV3_ALERT_UNSUPPORTED_CERTIFICATE:
        return QStringLiteral("The %1 refused this side's certificate").arg(peerOf(ssl));
    case SSL_R_SSLV3_ALERT_CERTIFICATE_EXPIRED:
        return QStringLiteral("The %1 refused this side's certificate as expired").arg(peerOf(ssl));
    case SSL_R_TLSV1_ALERT_UNKNOWN_CA:
        return QStringLiteral("The %1 does not trust this side's certificate (unknown issuer)").arg(peerOf(ssl));
    // A plain-text peer's first bytes (a login prompt, an HTTP request) read
    // as a record header with a nonsense version or length.
    case SSL_R_WRONG_VERSION_NUMBER:
    case SSL_R_HTTP_REQUEST:
    case SSL_R_HTTPS_PROXY_REQUEST:
    case SSL_R_PACKET_LENGTH_TOO_LONG:
        return QStringLiteral("The %1 does not speak TLS").arg(peerOf(ssl));
    case SSL_R_UNSUPPORTED_PROTOCOL:
    case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
    case SSL_R_NO_PROTOCOLS_AVAILABLE:
    case SSL_R_VERSION_TOO_LOW:
        return QStringLiteral("The %1 offers no TLS version accepted here (1.2 or 1.3)").arg(peerOf(ssl));
    default:
        return {};
    }
}

} // namespace

QString tlsFailureText(SSL *ssl, int sslError)
{
    const int systemError = errno;
    std::vector<unsigned long> queue;
    while (const unsigned long error = ERR_get_error())
        queue.push_back(error);

    for (const unsigned long error : queue) {
        if (ERR_GET_LIB(error) != ERR_LIB_SSL)
            continue;
        if (ERR_GET_REASON(error) == SSL_R_CERTIFICATE_VERIFY_FAILED && SSL_get_verify_result(ssl) != X509_V_OK)
            return certificateText(ssl, SSL_get_verify_result(ssl));
        if (const QString text = reasonText(ssl, ERR_GET_REASON(error)); !text.isEmpty())
            return text;
    }
    if (!queue.empty()) {
        const char *reason = ERR_reason_error_string(queue.front());
        return QStringLiteral("TLS failed: ")
            + (reason ? QString::fromUtf8(reason) : QStringLiteral("error %1").arg(queue.front(), 0, 16));
    }
    if (sslError == SSL_ERROR_SYSCALL && systemError != 0)
        return QStringLiteral("TLS failed: ") + QString::fromLocal8Bit(std::strerror(systemError));
    if (sslError == SSL_ERROR_SYSCALL || sslError == SSL_ERROR_ZERO_RETURN)
        return SSL_is_init_finished(ssl)
            ? QStringLiteral("The %1 closed the connection").arg(peerOf(ssl))
            : QStringLiteral("The %1 closed the connection during the TLS handshake").arg(peerOf(ssl));
    return QStringLiteral("TLS failed (error %1)").arg(sslError);
}

} // namespace pvx::platform
