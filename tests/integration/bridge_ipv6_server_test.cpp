// A server session that listens on IPv6, end to end over ::1.
#include "bridge_fixture.h"

#include <QUdpSocket>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using pvx::testing::kNetworkLine;
using pvx::testing::PtyBridge;
using pvx::testing::s;
using pvx::testing::TcpPeer;

namespace {

bool hasIPv6Loopback()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::LocalHostIPv6, 0);
}

QByteArray everyByte()
{
    QByteArray bytes(256, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i);
    return bytes;
}

} // namespace

TEST(BridgeIPv6Server, CarriesEveryByteBothWaysWithAnIPv6Client)
{
    if (!hasIPv6Loopback())
        GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
    for (const char *localAddress : {"::1", "[::1]", "", "::"}) {
        PtyBridge f(PtyBridge::Role::Server);
        ASSERT_TRUE(f.device.ok());
        f.window().localAddress.setText(s(localAddress));
        ASSERT_TRUE(f.activate()) << localAddress << ": " << f.status(kNetworkLine).toStdString();

        TcpPeer client;
        client.socket().connectToHost(QHostAddress::LocalHostIPv6, f.port());
        ASSERT_TRUE(waitUntil([&] { return client.connected() && f.session->clients().clientCount() == 1; }, 5s))
            << localAddress;
        EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: (1)Connected")) << localAddress;
        EXPECT_EQ(f.session->clients().socket(1).remoteHostIP(), s("::1")) << localAddress;

        const QByteArray bytes = everyByte();
        ASSERT_EQ(f.device.write(bytes), bytes.size());
        QByteArray atClient;
        ASSERT_TRUE(waitUntil([&] { atClient += client.socket().readAll(); return atClient.size() >= bytes.size(); }, 5s));
        EXPECT_EQ(atClient, bytes) << localAddress;

        client.socket().write(bytes);
        QByteArray atDevice;
        ASSERT_TRUE(waitUntil([&] { atDevice += f.device.read(); return atDevice.size() >= bytes.size(); }, 5s));
        EXPECT_EQ(atDevice, bytes) << localAddress;
    }
}

TEST(BridgeIPv6Server, ABadLocalAddressIsShownWithItsReasonAndLogged)
{
    const struct {
        const char *localAddress;
        const char *reason;
    } cases[] = {
        {"[::1]:4001", "a port does not belong in the address; set it apart"},
        {"fe80::1%nosuch0", "this computer has no interface nosuch0"},
        {"[::1", "the bracket is not closed"},
        {"::1::2", "neither an IPv4 nor an IPv6 address"},
    };
    for (const auto &c : cases) {
        PtyBridge f(PtyBridge::Role::Server);
        ASSERT_TRUE(f.device.ok());
        f.window().localAddress.setText(s(c.localAddress));
        EXPECT_FALSE(f.activate()) << c.localAddress;
        const QString expected =
            s("TCP/IP Status: Error - Not a valid local address: %1 (%2)").arg(s(c.localAddress), s(c.reason));
        EXPECT_EQ(f.status(kNetworkLine), expected);
        EXPECT_TRUE(f.logText().contains(expected)) << f.logText().toStdString();
    }
}
