#include "platform/linux/tls_credentials.h"

#include "platform/linux/tls_pem_file.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <sys/stat.h>

#include <memory>

namespace pvx::platform {

namespace {

// A key is never decrypted: asking for a passphrase would block a service on
// its terminal. Being asked tells that the key is encrypted.
int refusePassphrase(char *, int, int, void *asked)
{
    *static_cast<bool *>(asked) = true;
    return -1;
}

Result<std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>> readKey(const QString &keyFile)
{
    const QString named = QStringLiteral("TLS key ") + keyFile;
    auto file = readPemFile(QStringLiteral("TLS key"), keyFile);
    if (!file)
        return file.error();
    // As ssh does: a key others could read may already be theirs.
    if ((file->mode & (S_IRWXG | S_IRWXO)) != 0)
        return makeError(ErrorCode::AccessDenied,
                         named + QStringLiteral(" is open to others (mode %1); allow only its owner (chmod 600)")
                                     .arg(file->mode, 4, 8, QLatin1Char('0')));
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(file->text.constData(), static_cast<int>(file->text.size())), &BIO_free);
    bool asked = false;
    ERR_clear_error();
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        PEM_read_bio_PrivateKey(bio.get(), nullptr, refusePassphrase, &asked), &EVP_PKEY_free);
    ERR_clear_error();
    // The text held secrets; wipe the copy before it is freed.
    OPENSSL_cleanse(file->text.data(), static_cast<size_t>(file->text.size()));
    if (asked)
        return makeError(ErrorCode::InvalidArgument,
                         named + QStringLiteral(" is encrypted; store it without a passphrase"));
    if (!key)
        return makeError(ErrorCode::InvalidArgument, named + QStringLiteral(" holds no PEM private key"));
    return key;
}

} // namespace

Result<void> useCertificateAndKey(SSL_CTX *context, const QString &certificateFile, const QString &keyFile)
{
    auto file = readPemFile(QStringLiteral("TLS certificate"), certificateFile);
    if (!file)
        return file.error();
    auto chain = pemCertificates(file->text);
    if (chain.empty())
        return makeError(ErrorCode::InvalidArgument,
                         QStringLiteral("TLS certificate ") + certificateFile
                             + QStringLiteral(" holds no PEM certificate"));
    auto key = readKey(keyFile);
    if (!key)
        return key.error();
    if (X509_check_private_key(chain.front().get(), key->get()) != 1) {
        ERR_clear_error();
        return makeError(ErrorCode::InvalidArgument, QStringLiteral("TLS key ") + keyFile
                                                         + QStringLiteral(" does not match the certificate ")
                                                         + certificateFile);
    }
    bool used = SSL_CTX_use_certificate(context, chain.front().get()) == 1
        && SSL_CTX_use_PrivateKey(context, key->get()) == 1;
    for (std::size_t i = 1; used && i < chain.size(); ++i)
        used = SSL_CTX_add1_chain_cert(context, chain[i].get()) == 1;
    if (!used)
        return makeError(ErrorCode::InvalidArgument, QStringLiteral("TLS certificate ") + certificateFile
                                                         + QStringLiteral(" cannot be used: ")
                                                         + takeOpenSslReason());
    return {};
}

} // namespace pvx::platform
