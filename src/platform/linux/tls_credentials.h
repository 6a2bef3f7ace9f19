#pragma once

#include "platform/result.h"

#include <QString>

#include <openssl/types.h>

namespace pvx::platform {

/// Makes `context` present the certificate chain in `certificateFile` (its
/// own certificate first) with the private key in `keyFile`. Refuses, naming
/// the file: a missing or unreadable file, no PEM certificate or key in it, a
/// key file group or others may access, an encrypted key (it never asks for
/// a passphrase), a key that does not match the certificate.
Result<void> useCertificateAndKey(SSL_CTX *context, const QString &certificateFile, const QString &keyFile);

} // namespace pvx::platform
