#include "platform/linux/tls_trust.h"

#include "platform/linux/tls_pem_file.h"

#include <QDir>
#include <QFileInfo>

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <vector>

namespace pvx::platform {

namespace {

Result<std::vector<X509Handle>> folderCertificates(const QString &folder)
{
    std::vector<X509Handle> all;
    // Anything else a trust folder may hold (a README, CRLs, unreadable
    // files) is passed over; only a folder with no certificate at all is
    // an error.
    const auto files = QDir(folder).entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo &entry : files) {
        auto file = readPemFile(QStringLiteral("TLS trust file"), entry.filePath());
        if (!file)
            continue;
        for (auto &certificate : pemCertificates(file->text))
            all.push_back(std::move(certificate));
    }
    if (all.empty())
        return makeError(ErrorCode::InvalidArgument,
                         QStringLiteral("TLS trust folder ") + folder + QStringLiteral(" holds no PEM certificate"));
    return all;
}

Result<std::vector<X509Handle>> trustedCertificates(const QString &trustPath)
{
    if (QFileInfo(trustPath).isDir())
        return folderCertificates(trustPath);
    auto file = readPemFile(QStringLiteral("TLS trust file"), trustPath);
    if (!file)
        return file.error();
    auto certificates = pemCertificates(file->text);
    if (certificates.empty())
        return makeError(ErrorCode::InvalidArgument,
                         QStringLiteral("TLS trust file ") + trustPath + QStringLiteral(" holds no PEM certificate"));
    return certificates;
}

void nameIssuersToClients(SSL_CTX *context, const std::vector<X509Handle> &certificates)
{
    STACK_OF(X509_NAME) *names = sk_X509_NAME_new_null();
    for (const auto &certificate : certificates) {
        const X509_NAME *subject = X509_get_subject_name(certificate.get());
        bool known = false;
        for (int i = 0; i < sk_X509_NAME_num(names) && !known; ++i)
            known = X509_NAME_cmp(sk_X509_NAME_value(names, i), subject) == 0;
        if (!known)
            sk_X509_NAME_push(names, X509_NAME_dup(subject));
    }
    SSL_CTX_set_client_CA_list(context, names);
}

} // namespace

Result<void> useTrust(SSL_CTX *context, const QString &trustPath, bool nameToClients)
{
    if (trustPath.isEmpty()) {
        if (SSL_CTX_set_default_verify_paths(context) != 1)
            return makeError(ErrorCode::NotFound, QStringLiteral("The system's TLS trust store cannot be read: ")
                                                      + takeOpenSslReason());
        return {};
    }
    auto certificates = trustedCertificates(trustPath);
    if (!certificates)
        return certificates.error();
    X509_STORE *store = SSL_CTX_get_cert_store(context);
    for (const auto &certificate : *certificates)
        X509_STORE_add_cert(store, certificate.get());
    if (nameToClients)
        nameIssuersToClients(context, *certificates);
    return {};
}

} // namespace pvx::platform
