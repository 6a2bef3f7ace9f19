#pragma once

#include <QString>

namespace pvx::testing {

/// Certificates for TLS tests, made with the openssl command line (EC P-256
/// keys, files of mode 0600) into a folder the test owns, once: a later
/// make() for the same folder takes the files already there.
struct TestCertificates {
    QString caFile;                           ///< the CA that signs everything below but `untrusted*`
    QString serverCert, serverKey;            ///< for DNS localhost, IP 127.0.0.1 and ::1
    QString clientCert, clientKey;            ///< a client certificate (CN porvix-test-client)
    QString expiredCert, expiredKey;          ///< a server certificate valid only in January 2020
    QString notYetValidCert, notYetValidKey;  ///< one valid only from 2099
    QString otherNameCert, otherNameKey;      ///< one for DNS other.example only
    QString untrustedCert, untrustedKey;      ///< like the server's, signed by a second CA nobody trusts
    QString encryptedKey;                     ///< the server's key under the passphrase "secret"
    /// Why nothing was made (no openssl command): the caller skips with it. A
    /// failing openssl run is a test failure instead.
    QString missing;

    static TestCertificates make(const QString &folder);
};

} // namespace pvx::testing
