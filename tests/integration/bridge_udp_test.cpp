// UDP sessions on a pseudo-terminal device, in both roles.
#include "bridge_fixture.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using pvx::testing::PtyBridge;

namespace {

QNetworkDatagram nextDatagram(QUdpSocket &socket)
{
    waitUntil([&] { return socket.hasPendingDatagrams(); }, 5s);
    return socket.receiveDatagram();
}

QByteArray readDevice(PtyBridge &f, qsizetype size)
{
    QByteArray bytes;
    waitUntil([&] { bytes += f.device.read(); return bytes.size() >= size; }, 5s);
    return bytes;
}

} // namespace

TEST(BridgeUdp, ServerAnswersWhoeverSentLast)
{
    PtyBridge f(PtyBridge::Role::Server, PtyBridge::Serial::Device, true);
    ASSERT_TRUE(f.device.ok());
    ASSERT_TRUE(f.activate());
    QUdpSocket peer;
    ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, 0));

    // Nobody has sent yet, so there is nobody to answer.
    ASSERT_EQ(f.device.write("early"), 5);
    runEventsFor(200ms);
    EXPECT_FALSE(peer.hasPendingDatagrams());

    peer.writeDatagram("hello", QHostAddress::LocalHost, f.port());
    EXPECT_EQ(readDevice(f, 5), QByteArray("hello"));
    ASSERT_EQ(f.device.write("answer"), 6);
    const QNetworkDatagram answer = nextDatagram(peer);
    EXPECT_EQ(answer.data(), QByteArray("answer"));
    EXPECT_EQ(answer.senderPort(), f.port());

    // A second peer speaks; the answers follow it.
    QUdpSocket other;
    ASSERT_TRUE(other.bind(QHostAddress::LocalHost, 0));
    other.writeDatagram("me too", QHostAddress::LocalHost, f.port());
    EXPECT_EQ(readDevice(f, 6), QByteArray("me too"));
    ASSERT_EQ(f.device.write("to you"), 6);
    EXPECT_EQ(nextDatagram(other).data(), QByteArray("to you"));
    EXPECT_FALSE(peer.hasPendingDatagrams());
}

TEST(BridgeUdp, ClientSendsToItsRemoteHostAndHearsTheAnswer)
{
    PtyBridge f(PtyBridge::Role::Client, PtyBridge::Serial::Device, true);
    ASSERT_TRUE(f.device.ok());
    // The peer holds the remote port on this host, so the session's own bind
    // to that port fails (it is ignored) and it sends from a port of its own.
    QUdpSocket peer;
    ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, f.port()));
    ASSERT_TRUE(f.activate());

    ASSERT_EQ(f.device.write("to the server"), 13);
    const QNetworkDatagram sent = nextDatagram(peer);
    EXPECT_EQ(sent.data(), QByteArray("to the server"));

    peer.writeDatagram("reply", sent.senderAddress(), static_cast<quint16>(sent.senderPort()));
    EXPECT_EQ(readDevice(f, 5), QByteArray("reply"));

    // Packet mode: whole packets at once, the tail after the time-out.
    f.settings.PacketSize = 4;
    f.window().waitForTimeout.setValue(1);
    ASSERT_EQ(f.device.write("abcdefghij"), 10);
    EXPECT_EQ(nextDatagram(peer).data(), QByteArray("abcd"));
    EXPECT_EQ(nextDatagram(peer).data(), QByteArray("efgh"));
    EXPECT_EQ(nextDatagram(peer).data(), QByteArray("ij"));
}

class BridgeUdpIpv6Client : public ::testing::TestWithParam<const char *> {};

TEST_P(BridgeUdpIpv6Client, SendsToItsIpv6RemoteHostAndHearsTheAnswer)
{
    QUdpSocket peer;
    PtyBridge f(PtyBridge::Role::Client, PtyBridge::Serial::Device, true);
    ASSERT_TRUE(f.device.ok());
    if (!peer.bind(QHostAddress::LocalHostIPv6, f.port()))
        GTEST_SKIP() << "cannot bind ::1: " << peer.errorString().toStdString();
    f.window().remoteHost.setText(QString::fromLatin1(GetParam()));
    ASSERT_TRUE(f.activate());

    ASSERT_EQ(f.device.write("over six"), 8);
    const QNetworkDatagram sent = nextDatagram(peer);
    EXPECT_EQ(sent.data(), QByteArray("over six"));
    peer.writeDatagram("back", sent.senderAddress(), static_cast<quint16>(sent.senderPort()));
    EXPECT_EQ(readDevice(f, 4), QByteArray("back"));
}

INSTANTIATE_TEST_SUITE_P(Forms, BridgeUdpIpv6Client, ::testing::Values("::1", "[::1]"),
                         [](const auto &test) { return std::string(test.index == 0 ? "Address" : "BracketedAddress"); });
