#pragma once

#include "session/session_options.h"
#include "support/test_certificates.h"
#include "support/text.h"
#include "support/wait_until.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

namespace pvx::testing {

/// socat as the TLS peer of a session, for one connection: it turns a plain
/// port the test uses into TLS towards the session, or takes the session's
/// TLS and hands it on plain. What goes through it is the peer's own bytes.
class TlsRelay {
public:
    /// Plain on 127.0.0.1:`plainPort`, TLS to 127.0.0.1:`tlsPort` with socat's
    /// OPENSSL `options` (cafile=, cert=, key=, verify=).
    static std::unique_ptr<TlsRelay> toTls(quint16 plainPort, quint16 tlsPort, const QString &options)
    {
        return start(QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(plainPort),
                     QStringLiteral("OPENSSL:127.0.0.1:%1,%2").arg(tlsPort).arg(options));
    }
    /// TLS on 127.0.0.1:`tlsPort` (OPENSSL-LISTEN `options`), plain on to
    /// 127.0.0.1:`plainPort`.
    static std::unique_ptr<TlsRelay> fromTls(quint16 tlsPort, quint16 plainPort, const QString &options)
    {
        return start(QStringLiteral("OPENSSL-LISTEN:%1,bind=127.0.0.1,reuseaddr,%2").arg(tlsPort).arg(options),
                     QStringLiteral("TCP:127.0.0.1:%1").arg(plainPort));
    }
    /// socat's OPENSSL options for a client that trusts `caFile` and checks the server.
    static QString clientOptions(const QString &caFile) { return QStringLiteral("cafile=%1,verify=1").arg(caFile); }
    static bool available() { return !QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty(); }

    ~TlsRelay()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    /// What socat said, for a failing test's message.
    QString said() { return m_said += QString::fromUtf8(m_process.readAll()); }

private:
    static std::unique_ptr<TlsRelay> start(const QString &listening, const QString &onward)
    {
        auto relay = std::unique_ptr<TlsRelay>(new TlsRelay);
        relay->m_process.setProcessChannelMode(QProcess::MergedChannels);
        relay->m_process.start(QStringLiteral("socat"), {QStringLiteral("-d"), QStringLiteral("-d"), listening, onward});
        // Listening once it says so; asking its port would take its one connection.
        const bool listens = waitUntil([&] { return relay->said().contains(QStringLiteral("listening on")); }, 5000);
        return listens ? std::move(relay) : nullptr;
    }
    TlsRelay() = default;

    QProcess m_process;
    QString m_said;
};

/// The test certificates in a folder of the test's own.
struct CertificateFolder {
    QTemporaryDir folder;
    TestCertificates made = TestCertificates::make(folder.path());
};

/// A server session's TLS with the test certificates, asking clients for a
/// certificate as `verifyPeer` says.
inline void serveTls(session::SessionOptions &options, const CertificateFolder &certificates, int verifyPeer)
{
    options.Tls = 1;
    options.TlsCertificate = certificates.made.serverCert;
    options.TlsKey = certificates.made.serverKey;
    options.TlsTrust = certificates.made.caFile;
    options.TlsVerifyPeer = static_cast<qint16>(verifyPeer);
}

} // namespace pvx::testing
