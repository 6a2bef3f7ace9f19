#include "platform/linux/openssl_context.h"

#include "platform/linux/tls_failure_text.h"
#include "support/test_certificates.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

using pvx::platform::ErrorCode;
using pvx::platform::OpenSslContext;
using pvx::platform::SslHandle;
using pvx::platform::TlsRole;
using pvx::platform::TlsSettings;
using pvx::testing::TestCertificates;

namespace {

// The made certificates and the broken files the cases point at.
struct Files : TestCertificates {
    QString notPem, openKey, trustFolder, folderWithoutPem, absent, none;
};

using Path = QString Files::*;

class OpenSslContextTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const QString folder = QDir::homePath() + QStringLiteral("/tls");
        static_cast<TestCertificates &>(s_files) = TestCertificates::make(folder);
        if (!s_files.missing.isEmpty())
            return;
        const auto in = [&](const char *name) { return folder + QLatin1Char('/') + QLatin1String(name); };
        const auto put = [](const QString &path, const QByteArray &text, QFileDevice::Permissions mode) {
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
            file.write(text);
            file.setPermissions(mode);
        };
        const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        s_files.notPem = in("not-pem.txt");
        s_files.openKey = in("open.key");
        s_files.trustFolder = in("trust");
        s_files.folderWithoutPem = in("trust-without-pem");
        s_files.absent = in("absent.pem");
        QFile key(s_files.serverKey);
        EXPECT_TRUE(key.open(QIODevice::ReadOnly));
        QFile ca(s_files.caFile);
        EXPECT_TRUE(ca.open(QIODevice::ReadOnly));
        QDir().mkpath(s_files.trustFolder);
        QDir().mkpath(s_files.folderWithoutPem);
        put(s_files.notPem, "just some text\n", owner);
        put(s_files.openKey, key.readAll(), owner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        put(s_files.trustFolder + QStringLiteral("/our-ca.crt"), ca.readAll(), owner);
        put(s_files.trustFolder + QStringLiteral("/README"), "certificates\n", owner);
        put(s_files.folderWithoutPem + QStringLiteral("/README"), "certificates\n", owner);
    }

    void SetUp() override
    {
        if (!s_files.missing.isEmpty())
            GTEST_SKIP() << s_files.missing.toStdString();
    }

    static TlsSettings settings(TlsRole role, Path certificate, Path key, Path trust, int verifyPeer)
    {
        return TlsSettings{role, s_files.*certificate, s_files.*key, s_files.*trust, verifyPeer};
    }

    static Files s_files;
};

Files OpenSslContextTest::s_files;

struct LoadCase {
    const char *name;
    TlsRole role;
    Path certificate, key, trust;
    int verifyPeer;
    std::optional<ErrorCode> error;  // nothing: it loads
    const char *words;               // in the error, with the file it names
    Path named;
};

void PrintTo(const LoadCase &c, std::ostream *out)
{
    *out << c.name;
}

class LoadTest : public OpenSslContextTest, public ::testing::WithParamInterface<LoadCase> {};

constexpr auto S = TlsRole::Server;
constexpr auto C = TlsRole::Client;
constexpr auto Invalid = ErrorCode::InvalidArgument;

const LoadCase kLoadCases[] = {
    {"Server", S, &Files::serverCert, &Files::serverKey, &Files::caFile, 2, {}, "", &Files::none},
    {"ServerAskingNoCertificate", S, &Files::serverCert, &Files::serverKey, &Files::none, 0, {}, "", &Files::none},
    {"ClientWithoutCertificate", C, &Files::none, &Files::none, &Files::caFile, 1, {}, "", &Files::none},
    {"ClientWithCertificate", C, &Files::clientCert, &Files::clientKey, &Files::caFile, 1, {}, "", &Files::none},
    {"TrustFolder", C, &Files::none, &Files::none, &Files::trustFolder, 1, {}, "", &Files::none},
    {"NoCheckNoTrustRead", C, &Files::none, &Files::none, &Files::absent, 0, {}, "", &Files::none},
    {"SystemTrustStore", C, &Files::none, &Files::none, &Files::none, 1, {}, "", &Files::none},
    {"ServerWithoutKey", S, &Files::serverCert, &Files::none, &Files::caFile, 1, Invalid,
     "A TLS server needs a certificate and its key", &Files::none},
    {"ClientWithCertificateOnly", C, &Files::clientCert, &Files::none, &Files::caFile, 1, Invalid,
     "both a certificate and its key", &Files::none},
    {"MissingCertificate", S, &Files::absent, &Files::serverKey, &Files::caFile, 1, ErrorCode::NotFound,
     "Cannot read TLS certificate", &Files::absent},
    {"CertificateNotPem", S, &Files::notPem, &Files::serverKey, &Files::caFile, 1, Invalid,
     "holds no PEM certificate", &Files::notPem},
    {"KeyNotPem", S, &Files::serverCert, &Files::notPem, &Files::caFile, 1, Invalid, "holds no PEM private key",
     &Files::notPem},
    {"KeyOthersCanRead", S, &Files::serverCert, &Files::openKey, &Files::caFile, 1, ErrorCode::AccessDenied,
     "is open to others (mode 0644); allow only its owner (chmod 600)", &Files::openKey},
    {"KeyOfAnotherCertificate", S, &Files::serverCert, &Files::clientKey, &Files::caFile, 1, Invalid,
     "does not match the certificate", &Files::clientKey},
    {"EncryptedKey", S, &Files::serverCert, &Files::encryptedKey, &Files::caFile, 1, Invalid,
     "is encrypted; store it without a passphrase", &Files::encryptedKey},
    {"MissingTrust", C, &Files::none, &Files::none, &Files::absent, 1, ErrorCode::NotFound,
     "Cannot read TLS trust file", &Files::absent},
    {"TrustNotPem", S, &Files::serverCert, &Files::serverKey, &Files::notPem, 1, Invalid,
     "holds no PEM certificate", &Files::notPem},
    {"TrustFolderWithoutPem", C, &Files::none, &Files::none, &Files::folderWithoutPem, 1, Invalid,
     "TLS trust folder", &Files::folderWithoutPem},
};

INSTANTIATE_TEST_SUITE_P(Files, LoadTest, ::testing::ValuesIn(kLoadCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_P(LoadTest, LoadsOrSaysWhichFileIsWrong)
{
    const LoadCase &c = GetParam();
    const auto loaded = OpenSslContext::load(settings(c.role, c.certificate, c.key, c.trust, c.verifyPeer));
    ASSERT_EQ(loaded.ok(), !c.error) << (loaded ? "" : loaded.error().detail.toStdString());
    if (loaded) {
        EXPECT_EQ((*loaded)->role(), c.role);
        return;
    }
    const QString detail = loaded.error().detail;
    EXPECT_EQ(loaded.error().code, *c.error);
    EXPECT_TRUE(detail.contains(QString::fromUtf8(c.words))) << detail.toStdString();
    EXPECT_TRUE(detail.contains(s_files.*c.named)) << detail.toStdString();
    EXPECT_FALSE(detail.contains(QStringLiteral("-----"))) << "file contents in " << detail.toStdString();
    EXPECT_EQ(ERR_peek_error(), 0UL);
}

// The outcome of one side of a handshake.
struct Side {
    bool done = false;
    QString failure;
};

struct Handshake {
    Side client, server;
};

// Both ends in memory, stepped in turn until neither moves any more.
Handshake shake(const OpenSslContext &server, const OpenSslContext &client, const QString &peerName)
{
    auto serverSsl = server.newConnection({});
    auto clientSsl = client.newConnection(peerName);
    EXPECT_TRUE(serverSsl.ok() && clientSsl.ok());
    if (!serverSsl || !clientSsl)
        return {};
    BIO *clientEnd = nullptr;
    BIO *serverEnd = nullptr;
    BIO_new_bio_pair(&clientEnd, 0, &serverEnd, 0);
    SSL_set_bio(clientSsl->get(), clientEnd, clientEnd);
    SSL_set_bio(serverSsl->get(), serverEnd, serverEnd);
    SSL_set_connect_state(clientSsl->get());
    SSL_set_accept_state(serverSsl->get());

    Handshake result;
    const auto step = [](SSL *ssl, Side &side) {
        if (side.done || !side.failure.isEmpty())
            return;
        const int status = SSL_do_handshake(ssl);
        const int error = SSL_get_error(ssl, status);
        if (status == 1)
            side.done = true;
        else if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
            side.failure = pvx::platform::tlsFailureText(ssl, error);
    };
    for (int round = 0; round < 20; ++round) {
        step(clientSsl->get(), result.client);
        step(serverSsl->get(), result.server);
    }
    return result;
}

struct HandshakeCase {
    const char *name;
    Path serverCertificate, serverKey;
    int serverVerify;
    Path clientCertificate, clientKey;
    int clientVerify;
    const char *peerName;
    const char *clientFailure;  // empty: the client's handshake ends well
    const char *serverFailure;
};

void PrintTo(const HandshakeCase &c, std::ostream *out)
{
    *out << c.name;
}

class HandshakeTest : public OpenSslContextTest, public ::testing::WithParamInterface<HandshakeCase> {};

const HandshakeCase kHandshakeCases[] = {
    {"GoodChain", &Files::serverCert, &Files::serverKey, 1, &Files::none, &Files::none, 1, "localhost", "", ""},
    {"IPv4Literal", &Files::serverCert, &Files::serverKey, 1, &Files::none, &Files::none, 1, "127.0.0.1", "", ""},
    {"IPv6Literal", &Files::serverCert, &Files::serverKey, 1, &Files::none, &Files::none, 1, "[::1]", "", ""},
    {"IPv6LiteralWithZone", &Files::serverCert, &Files::serverKey, 1, &Files::none, &Files::none, 1, "::1%lo", "",
     ""},
    {"OtherAddress", &Files::serverCert, &Files::serverKey, 1, &Files::none, &Files::none, 1, "127.0.0.2",
     "The server's certificate is not for 127.0.0.2 (name mismatch)", ""},
    {"OtherName", &Files::otherNameCert, &Files::otherNameKey, 1, &Files::none, &Files::none, 1, "localhost",
     "The server's certificate is not for localhost (name mismatch)", ""},
    {"Expired", &Files::expiredCert, &Files::expiredKey, 1, &Files::none, &Files::none, 1, "localhost",
     "The server's certificate has expired", ""},
    {"NotYetValid", &Files::notYetValidCert, &Files::notYetValidKey, 1, &Files::none, &Files::none, 1, "localhost",
     "The server's certificate is not valid yet", ""},
    {"UntrustedIssuer", &Files::untrustedCert, &Files::untrustedKey, 1, &Files::none, &Files::none, 1, "localhost",
     "The server's certificate is not trusted", ""},
    {"NoCheckTakesAnything", &Files::untrustedCert, &Files::untrustedKey, 1, &Files::none, &Files::none, 0,
     "other.example", "", ""},
    {"ClientCertificateRequiredNotSent", &Files::serverCert, &Files::serverKey, 2, &Files::none, &Files::none, 1,
     "localhost", "", "The client sent no certificate, and one is required"},
    {"ClientCertificateRequiredAndSent", &Files::serverCert, &Files::serverKey, 2, &Files::clientCert,
     &Files::clientKey, 1, "localhost", "", ""},
    {"ClientCertificateUntrusted", &Files::serverCert, &Files::serverKey, 1, &Files::untrustedCert,
     &Files::untrustedKey, 1, "localhost", "", "The client's certificate is not trusted"},
};

INSTANTIATE_TEST_SUITE_P(Certificates, HandshakeTest, ::testing::ValuesIn(kHandshakeCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_P(HandshakeTest, EndsWellOrSaysWhy)
{
    const HandshakeCase &c = GetParam();
    const auto server = OpenSslContext::load(
        settings(TlsRole::Server, c.serverCertificate, c.serverKey, &Files::caFile, c.serverVerify));
    const auto client = OpenSslContext::load(
        settings(TlsRole::Client, c.clientCertificate, c.clientKey, &Files::caFile, c.clientVerify));
    ASSERT_TRUE(server.ok() && client.ok());

    const Handshake result = shake(**server, **client, QString::fromUtf8(c.peerName));
    if (*c.clientFailure == '\0' && *c.serverFailure == '\0') {
        EXPECT_TRUE(result.client.done) << result.client.failure.toStdString();
        EXPECT_TRUE(result.server.done) << result.server.failure.toStdString();
    }
    // The other side may finish first (TLS 1.3) or fail on the alert it gets.
    for (const auto &[side, words] : {std::pair{result.client, c.clientFailure}, {result.server, c.serverFailure}}) {
        if (*words != '\0') {
            EXPECT_TRUE(side.failure.startsWith(QString::fromUtf8(words))) << side.failure.toStdString();
        }
    }
    EXPECT_EQ(ERR_peek_error(), 0UL);
}

TEST_F(OpenSslContextTest, AClientRefusesNamesItCannotCheck)
{
    const auto client = OpenSslContext::load(settings(TlsRole::Client, &Files::none, &Files::none, &Files::caFile, 1));
    ASSERT_TRUE(client.ok());
    for (const QString &name : {QString(), QString::fromLatin1("localhost\0.evil.example", 23)})
        EXPECT_EQ((*client)->newConnection(name).error().code, ErrorCode::InvalidArgument);
}

TEST_F(OpenSslContextTest, APlainTextClientDoesNotSpeakTls)
{
    const auto server = OpenSslContext::load(
        settings(TlsRole::Server, &Files::serverCert, &Files::serverKey, &Files::caFile, 1));
    ASSERT_TRUE(server.ok());
    auto ssl = (*server)->newConnection({});
    ASSERT_TRUE(ssl.ok());
    BIO *clientEnd = nullptr;
    BIO *serverEnd = nullptr;
    BIO_new_bio_pair(&clientEnd, 0, &serverEnd, 0);
    SSL_set_bio(ssl->get(), serverEnd, serverEnd);
    SSL_set_accept_state(ssl->get());
    BIO_write(clientEnd, "GET / HTTP/1.1\r\nHost: x\r\n\r\n", 27);

    const int status = SSL_do_handshake(ssl->get());
    EXPECT_EQ(pvx::platform::tlsFailureText(ssl->get(), SSL_get_error(ssl->get(), status)),
              QStringLiteral("The client does not speak TLS"));
    EXPECT_EQ(ERR_peek_error(), 0UL);
    BIO_free(clientEnd);
}

} // namespace
