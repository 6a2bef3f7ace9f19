#pragma once

#include <QString>

#include <openssl/types.h>

namespace pvx::platform {

/// Why a handshake or a record on `ssl` failed, in one short English
/// sentence for the status line and the log: the peer's certificate problem
/// in plain words (expired, not valid yet, not trusted, not for the name it
/// was checked against), a required client certificate that was not sent, a
/// peer that does not speak TLS or no TLS version in common; otherwise
/// OpenSSL's own reason. `sslError` is what SSL_get_error returned. Call it
/// right after the failed call: it reads errno and OpenSSL's error queue, and
/// clears the queue.
QString tlsFailureText(SSL *ssl, int sslError);

} // namespace pvx::platform
