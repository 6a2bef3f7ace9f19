#pragma once

#include "platform/result.h"

#include <QString>

#include <openssl/types.h>

namespace pvx::platform {

/// Makes `context` trust the certificates in `trustPath`: a PEM file, a
/// folder whose regular PEM files are all read (no hashed names needed), or,
/// when empty, the system's trust store. With `nameToClients`, a server names
/// the subjects of a file's or folder's certificates to its clients as the
/// issuers it accepts. Fails, naming the path, when it is missing or holds no
/// PEM certificate.
Result<void> useTrust(SSL_CTX *context, const QString &trustPath, bool nameToClients);

} // namespace pvx::platform
