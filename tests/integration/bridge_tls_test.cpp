// TLS sessions end to end: certificates made by openssl, socat as the peer,
// and the AllowFrom list over both address families.
#include "bridge_fixture.h"
#include "tls_relay.h"

#include <QDir>
#include <QUdpSocket>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using pvx::testing::crossBothWays;
using pvx::testing::CertificateFolder;
using pvx::testing::FdPeer;
using pvx::testing::freePort;
using pvx::testing::kNetworkLine;
using pvx::testing::PtyBridge;
using pvx::testing::s;
using pvx::testing::serveTls;
using pvx::testing::ServedClient;
using pvx::testing::TcpPeer;
using pvx::testing::TlsRelay;

namespace {

#define SKIP_WITHOUT_PEERS(certificates)                                                                    \
    if (!(certificates).made.missing.isEmpty() || !TlsRelay::available())                                  \
        GTEST_SKIP() << "openssl or socat is missing: " << (certificates).made.missing.toStdString();

QString clientOptions(const QString &cert, const QString &key, const QString &ca)
{
    return TlsRelay::clientOptions(ca) + (cert.isEmpty() ? QString() : QStringLiteral(",cert=%1,key=%2").arg(cert, key));
}

int openDescriptors()
{
    return static_cast<int>(QDir(s("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

} // namespace

TEST(BridgeTls, AServerTakesAClientWithItsCertificateAndEveryByteCrossesBothWays)
{
    CertificateFolder certificates;
    SKIP_WITHOUT_PEERS(certificates);
    PtyBridge f(PtyBridge::Role::Server);
    ASSERT_TRUE(f.device.ok());
    serveTls(f.window().options, certificates, 2);
    ASSERT_TRUE(f.activate()) << f.status(kNetworkLine).toStdString();

    const quint16 plainPort = freePort();
    const auto &made = certificates.made;
    auto relay = TlsRelay::toTls(plainPort, f.port(), clientOptions(made.clientCert, made.clientKey, made.caFile));
    ASSERT_TRUE(relay);
    TcpPeer network;
    network.connectTo(plainPort);
    ASSERT_TRUE(waitUntil([&] { return f.session->clients().clientCount() == 1; }, 10s)) << relay->said().toStdString();
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: (1)Connected"));
    crossBothWays(f, network, 4 * 1024 * 1024);
}

TEST(BridgeTls, AClientChecksTheServerAndEveryByteCrossesBothWays)
{
    CertificateFolder certificates;
    SKIP_WITHOUT_PEERS(certificates);
    ServedClient f;
    ASSERT_TRUE(f.device.ok());
    const quint16 tlsPort = freePort();
    const auto &made = certificates.made;
    auto relay = TlsRelay::fromTls(tlsPort, f.server.serverPort(),
                                   QStringLiteral("cert=%1,key=%2,verify=0").arg(made.serverCert, made.serverKey));
    ASSERT_TRUE(relay);
    f.window().portNumber.setText(QString::number(tlsPort));
    f.window().options.Tls = 1;
    f.window().options.TlsTrust = made.caFile;
    ASSERT_TRUE(f.activate()) << f.status(kNetworkLine).toStdString();

    auto network = f.nextConnection();
    ASSERT_TRUE(network) << relay->said().toStdString() << f.status(kNetworkLine).toStdString();
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: Connected"));
    crossBothWays(f, *network, 4 * 1024 * 1024);
}

TEST(BridgeTls, AClientSaysWhyItRefusesTheServersCertificate)
{
    CertificateFolder certificates;
    SKIP_WITHOUT_PEERS(certificates);
    const auto &made = certificates.made;
    const struct {
        const QString &cert;
        const QString &key;
        const char *reason;
    } cases[] = {
        {made.expiredCert, made.expiredKey, "The server's certificate has expired"},
        {made.notYetValidCert, made.notYetValidKey, "The server's certificate is not valid yet"},
        {made.otherNameCert, made.otherNameKey, "The server's certificate is not for 127.0.0.1 (name mismatch)"},
        {made.untrustedCert, made.untrustedKey, "The server's certificate is not trusted (unknown issuer)"},
    };
    for (const auto &c : cases) {
        ServedClient f;
        ASSERT_TRUE(f.device.ok());
        const quint16 tlsPort = freePort();
        auto relay = TlsRelay::fromTls(tlsPort, f.server.serverPort(),
                                       QStringLiteral("cert=%1,key=%2,verify=0").arg(c.cert, c.key));
        ASSERT_TRUE(relay);
        f.window().portNumber.setText(QString::number(tlsPort));
        f.window().options.Tls = 1;
        f.window().options.TlsTrust = made.caFile;
        ASSERT_TRUE(f.activate());
        const QString expected = s("TCP/IP Status: Error - ") + s(c.reason);
        EXPECT_TRUE(waitUntil([&] { return f.status(kNetworkLine) == expected; }, 10s))
            << c.reason << " / " << f.status(kNetworkLine).toStdString();
        EXPECT_FALSE(f.server.hasPendingConnections()) << "nothing reaches past a refused server";
    }
}

TEST(BridgeTls, AServerClosesWhoFailsTheHandshakeLogsItOnceAndPassesNothingOn)
{
    CertificateFolder certificates;
    SKIP_WITHOUT_PEERS(certificates);
    const auto &made = certificates.made;
    PtyBridge f(PtyBridge::Role::Server);
    ASSERT_TRUE(f.device.ok());
    serveTls(f.window().options, certificates, 2);
    ASSERT_TRUE(f.activate());
    FdPeer device(f.device.master());
    QByteArray atDevice;
    device.receive([&](const QByteArray &bytes) { atDevice += bytes; });

    // Refusals are logged once a minute per address: each case comes from
    // an address of its own.
    const struct {
        const char *name;
        QString options;
        const char *line;
    } tlsCases[] = {
        {"no client certificate", clientOptions({}, {}, made.caFile) + s(",bind=127.0.0.2"),
         "TLS handshake with 127.0.0.2 failed: The client sent no certificate, and one is required"},
        {"an untrusted client certificate",
         clientOptions(made.untrustedCert, made.untrustedKey, made.caFile) + s(",bind=127.0.0.3"),
         "TLS handshake with 127.0.0.3 failed: The client's certificate is not trusted"},
    };
    for (const auto &c : tlsCases) {
        const quint16 plainPort = freePort();
        auto relay = TlsRelay::toTls(plainPort, f.port(), c.options);
        ASSERT_TRUE(relay) << c.name;
        TcpPeer network;
        network.connectTo(plainPort);
        network.socket().write("never seen\r\n");
        EXPECT_TRUE(waitUntil([&] { return f.logText().contains(s(c.line)); }, 10s))
            << c.name << ": " << f.logText().toStdString();
    }
    // A plain-text client, again and again: closed each time, logged once.
    for (int attempt = 0; attempt < 20; ++attempt) {
        QTcpSocket plain;
        ASSERT_TRUE(plain.bind(QHostAddress(s("127.0.0.4")), 0));
        plain.connectToHost(QHostAddress::LocalHost, f.port());
        ASSERT_TRUE(plain.waitForConnected(5000));
        plain.write("GET / HTTP/1.0\r\n\r\n");
        EXPECT_TRUE(waitUntil([&] { return plain.state() == QAbstractSocket::UnconnectedState; }, 5s)) << attempt;
    }
    EXPECT_EQ(f.logText().count(s("TLS handshake with 127.0.0.4 failed: The client does not speak TLS")), 1)
        << f.logText().toStdString();
    EXPECT_EQ(f.session->clients().clientCount(), 0);
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: Listening..."));
    EXPECT_TRUE(atDevice.isEmpty()) << atDevice.toStdString();
}

TEST(BridgeTls, StalledHandshakesHoldUpNobodyAndLeaveNoDescriptorBehind)
{
    CertificateFolder certificates;
    SKIP_WITHOUT_PEERS(certificates);
    const auto &made = certificates.made;
    PtyBridge f(PtyBridge::Role::Server);
    ASSERT_TRUE(f.device.ok());
    serveTls(f.window().options, certificates, 1);
    ASSERT_TRUE(f.activate());
    const int before = openDescriptors();

    // Each opens a handshake record and says no more.
    std::vector<std::unique_ptr<QTcpSocket>> stalled;
    for (int i = 0; i < 200; ++i) {
        stalled.push_back(std::make_unique<QTcpSocket>());
        stalled.back()->connectToHost(QHostAddress::LocalHost, f.port());
        stalled.back()->write(QByteArray("\x16\x03\x01\x02\x00", 5));
    }
    {
        const quint16 plainPort = freePort();
        auto relay = TlsRelay::toTls(plainPort, f.port(), clientOptions({}, {}, made.caFile));
        ASSERT_TRUE(relay);
        TcpPeer network;
        network.connectTo(plainPort);
        ASSERT_TRUE(waitUntil([&] { return f.session->clients().clientCount() == 1; }, 10s));
        crossBothWays(f, network, 256 * 1024);
    }
    stalled.clear();
    EXPECT_TRUE(waitUntil([&] { return f.session->clients().clientCount() == 0 && openDescriptors() <= before; }, 10s))
        << openDescriptors() << " descriptors open, " << before << " before";
}

TEST(BridgeAllowFrom, KeepsStrangersOutOverBothFamilies)
{
    QUdpSocket probe;
    if (!probe.bind(QHostAddress::LocalHostIPv6, 0))
        GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
    const struct {
        const char *allowFrom;
        QHostAddress admitted;
        QHostAddress refused;
    } cases[] = {
        {"127.0.0.0/8", QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)},
        {"::1, 192.0.2.0/24", QHostAddress(QHostAddress::LocalHostIPv6), QHostAddress(QHostAddress::LocalHost)},
    };
    for (const auto &c : cases) {
        PtyBridge f(PtyBridge::Role::Server);
        ASSERT_TRUE(f.device.ok());
        // Both families on one listener: an IPv4 client arrives IPv4-mapped.
        f.window().localAddress.setText(QString());
        f.window().options.AllowFrom = s(c.allowFrom);
        ASSERT_TRUE(f.activate()) << c.allowFrom;
        FdPeer device(f.device.master());
        QByteArray atDevice;
        device.receive([&](const QByteArray &bytes) { atDevice += bytes; });

        QTcpSocket stranger;
        stranger.connectToHost(c.refused, f.port());
        stranger.write("from a stranger\n");
        EXPECT_TRUE(waitUntil([&] { return stranger.state() == QAbstractSocket::UnconnectedState; }, 5s)) << c.allowFrom;
        QTcpSocket friendly;
        friendly.connectToHost(c.admitted, f.port());
        friendly.write("from a friend\n");
        EXPECT_TRUE(waitUntil([&] { return atDevice == "from a friend\n"; }, 5s)) << c.allowFrom << ": " << atDevice.toStdString();
        EXPECT_EQ(f.session->clients().clientCount(), 1);
        EXPECT_TRUE(f.logText().contains(s("Refused %1: not in AllowFrom").arg(c.refused.toString())))
            << f.logText().toStdString();
    }
}
