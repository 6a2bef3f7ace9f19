#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QString>

#include <openssl/types.h>

#include <sys/types.h>

#include <memory>
#include <vector>

namespace pvx::platform {

struct X509Free {
    void operator()(X509 *certificate) const;
};
using X509Handle = std::unique_ptr<X509, X509Free>;

/// A PEM file's text and its permission bits, read through one descriptor.
struct PemFile {
    QByteArray text;
    mode_t mode = 0;
};

/// Reads the regular file `path` (at most 1 MiB). `what` names it in the
/// error, as in "TLS key": the file is missing, unreadable, not a file or too
/// large.
Result<PemFile> readPemFile(const QString &what, const QString &path);

/// The certificates in `text`, in their order; empty when it holds none or
/// one that cannot be decoded. Clears OpenSSL's error queue.
std::vector<X509Handle> pemCertificates(const QByteArray &text);

/// The reason of the oldest error in OpenSSL's queue (empty when there is
/// none); clears the queue.
QString takeOpenSslReason();

} // namespace pvx::platform
