// A client session reaching its server over IPv6 loopback, by address or by
// a name whose first address refuses.
#include "bridge_fixture.h"

#include <QHostInfo>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using pvx::testing::crossBothWays;
using pvx::testing::kNetworkLine;
using pvx::testing::PtyBridge;
using pvx::testing::s;
using pvx::testing::TcpPeer;

namespace {

constexpr qint64 kBytesEachWay = 1024 * 1024;

struct RemoteHostCase {
    const char *name;
    /// What the user types as the remote host.
    const char *remoteHost;
    /// Where the test's server listens.
    QHostAddress::SpecialAddress serverAddress;
};

class BridgeIpv6Client : public ::testing::TestWithParam<RemoteHostCase> {};

/// A name the hosts file maps to both ::1 and 127.0.0.1; empty when none.
QString dualStackLoopbackName()
{
    for (const char *name : {"localhost", "ip6-localhost", "ip6-loopback"}) {
        const QList<QHostAddress> found = QHostInfo::fromName(QString::fromLatin1(name)).addresses();
        if (found.contains(QHostAddress(QHostAddress::LocalHost)) && found.contains(QHostAddress(QHostAddress::LocalHostIPv6)))
            return QString::fromLatin1(name);
    }
    return {};
}

} // namespace

TEST_P(BridgeIpv6Client, EveryByteCrossesBothWays)
{
    const RemoteHostCase &c = GetParam();
    QString remoteHost = QString::fromLatin1(c.remoteHost);
    if (remoteHost.isEmpty()) {
        remoteHost = dualStackLoopbackName();
        if (remoteHost.isEmpty())
            GTEST_SKIP() << "no name in /etc/hosts maps to both ::1 and 127.0.0.1 (the file is left as it is)";
    }
    QTcpServer server;
    if (!server.listen(QHostAddress(c.serverAddress), 0))
        GTEST_SKIP() << "cannot listen on " << QHostAddress(c.serverAddress).toString().toStdString() << ": "
                     << server.errorString().toStdString();
    PtyBridge f(PtyBridge::Role::Client);
    ASSERT_TRUE(f.device.ok());
    f.window().remoteHost.setText(remoteHost);
    f.window().portNumber.setText(QString::number(server.serverPort()));
    ASSERT_TRUE(f.activate());
    ASSERT_TRUE(waitUntil([&] { return server.hasPendingConnections(); }, 8s));
    TcpPeer network(server.nextPendingConnection());
    ASSERT_TRUE(waitUntil([&] { return f.status(kNetworkLine) == s("TCP/IP Status: Connected"); }, 5s));
    EXPECT_EQ(f.session->clients().socket(0).remoteHostIP(),
              network.socket().localAddress().toString());

    crossBothWays(f, network, kBytesEachWay);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, BridgeIpv6Client,
    ::testing::Values(RemoteHostCase{"Address", "::1", QHostAddress::LocalHostIPv6},
                      RemoteHostCase{"BracketedAddress", "[::1]", QHostAddress::LocalHostIPv6},
                      // The name's other address has nothing listening: refused, then the next.
                      RemoteHostCase{"DualStackNameServedOnIpv6Only", "", QHostAddress::LocalHostIPv6},
                      RemoteHostCase{"DualStackNameServedOnIpv4Only", "", QHostAddress::LocalHost}),
    [](const auto &test) { return std::string(test.param.name); });
