#include "platform/linux/tls_pem_file.h"

#include "platform/linux/posix_error.h"
#include "platform/linux/unique_fd.h"

#include <QFile>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pvx::platform {

namespace {

// Certificate chains and keys are a few KiB; a bound keeps a wrong path (a
// disk image, /dev/zero) from being read into memory.
constexpr qsizetype kMaxPemSize = 1024 * 1024;

} // namespace

void X509Free::operator()(X509 *certificate) const
{
    X509_free(certificate);
}

Result<PemFile> readPemFile(const QString &what, const QString &path)
{
    const QString named = what + QLatin1Char(' ') + path;
    UniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid())
        return posixError(errno, QStringLiteral("Cannot read ") + named);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        return posixError(errno, QStringLiteral("Cannot read ") + named);
    if (!S_ISREG(info.st_mode))
        return makeError(ErrorCode::InvalidArgument, named + QStringLiteral(" is not a file"));
    if (info.st_size > kMaxPemSize)
        return makeError(ErrorCode::InvalidArgument, named + QStringLiteral(" is too large for a PEM file"));

    PemFile file;
    file.mode = info.st_mode & 07777;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return posixError(errno, QStringLiteral("Cannot read ") + named);
        if (n == 0)
            break;
        file.text.append(buffer, static_cast<qsizetype>(n));
        if (file.text.size() > kMaxPemSize)
            return makeError(ErrorCode::InvalidArgument, named + QStringLiteral(" is too large for a PEM file"));
    }
    return file;
}

std::vector<X509Handle> pemCertificates(const QByteArray &text)
{
    std::vector<X509Handle> certificates;
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(text.constData(), static_cast<int>(text.size())),
                                                  &BIO_free);
    ERR_clear_error();
    while (X509 *certificate = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr))
        certificates.emplace_back(certificate);
    // The loop ends at the end of the text, or at a block it cannot decode:
    // a damaged file is refused whole rather than half trusted.
    const unsigned long stop = ERR_peek_last_error();
    const bool atEnd = ERR_GET_LIB(stop) == ERR_LIB_PEM && ERR_GET_REASON(stop) == PEM_R_NO_START_LINE;
    ERR_clear_error();
    if (!atEnd)
        certificates.clear();
    return certificates;
}

QString takeOpenSslReason()
{
    const unsigned long error = ERR_get_error();
    ERR_clear_error();
    if (error == 0)
        return {};
    const char *reason = ERR_reason_error_string(error);
    return reason ? QString::fromUtf8(reason) : QStringLiteral("OpenSSL error %1").arg(error, 0, 16);
}

} // namespace pvx::platform
