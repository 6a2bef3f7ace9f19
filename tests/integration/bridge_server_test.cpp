// A server session on a pseudo-terminal device with several loopback clients.
#include "bridge_fixture.h"
#include "platform/linux/open_file_limit.h"

#include <gtest/gtest.h>

#include <array>

using namespace std::chrono_literals;
using pvx::testing::FdPeer;
using pvx::testing::kNetworkLine;
using pvx::testing::PtyBridge;
using pvx::testing::s;
using pvx::testing::TcpPeer;

namespace {

/// What the client received, after a moment to see that nothing more comes.
QByteArray receivedBy(TcpPeer &client)
{
    runEventsFor(200ms);
    return client.socket().readAll();
}

} // namespace

TEST(BridgeServer, ThreeClientsShareTheDeviceAndReuseSockets)
{
    PtyBridge f(PtyBridge::Role::Server);
    ASSERT_TRUE(f.device.ok());
    ASSERT_TRUE(f.activate()) << f.status(kNetworkLine).toStdString();

    std::array<std::unique_ptr<TcpPeer>, 3> clients;
    for (auto &client : clients) {
        client = std::make_unique<TcpPeer>();
        ASSERT_TRUE(f.connectClient(*client));
    }
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: (3)Connected"));
    EXPECT_EQ(f.session->clients().maxSocketIndex(), 3);

    // The device talks to every client; every client talks to the device.
    ASSERT_EQ(f.device.write("from the device"), 15);
    for (auto &client : clients)
        ASSERT_TRUE(waitUntil([&] { return client->socket().bytesAvailable() == 15; }, 5s));
    for (auto &client : clients)
        EXPECT_EQ(client->socket().readAll(), QByteArray("from the device"));
    for (auto &client : clients)
        client->socket().write("<up>");
    QByteArray atDevice;
    ASSERT_TRUE(waitUntil([&] { atDevice += f.device.read(); return atDevice.size() == 12; }, 5s));
    EXPECT_EQ(atDevice, QByteArray("<up><up><up>"));

    // The second client leaves; the next one takes its socket.
    clients[1]->socket().disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return f.status(kNetworkLine) == s("TCP/IP Status: (2)Connected"); }, 5s));
    clients[1] = std::make_unique<TcpPeer>();
    ASSERT_TRUE(f.connectClient(*clients[1]));
    EXPECT_EQ(f.session->clients().maxSocketIndex(), 3);
    EXPECT_EQ(f.session->clients().socket(2).state(), pvx::platform::kSocketConnected);
    EXPECT_TRUE(f.logText().contains(s("TCP/IP Status: (3)Connected, ")));

    // First client only, both ways.
    f.window().options.ServerSerialOptions = 2;
    f.window().options.ServerTCPOptions = 2;
    ASSERT_EQ(f.device.write("only one"), 8);
    clients[2]->socket().write("dropped");
    clients[0]->socket().write("first");
    atDevice.clear();
    ASSERT_TRUE(waitUntil([&] { atDevice += f.device.read(); return atDevice.size() >= 5; }, 5s));
    EXPECT_EQ(receivedBy(*clients[0]), QByteArray("only one"));
    EXPECT_EQ(receivedBy(*clients[1]), QByteArray());
    EXPECT_EQ(receivedBy(*clients[2]), QByteArray());
    atDevice += f.device.read();
    EXPECT_EQ(atDevice, QByteArray("first"));

    for (auto &client : clients)
        client->socket().disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return f.status(kNetworkLine) == s("TCP/IP Status: Listening..."); }, 5s));
    f.session->toggleActive();
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: Closed"));
}

TEST(BridgeServer, ASecondClientIsTurnedAwayWithoutMultiConnect)
{
    PtyBridge f(PtyBridge::Role::Server);
    ASSERT_TRUE(f.device.ok());
    f.window().options.AllowMultiConnect = 0;
    ASSERT_TRUE(f.activate());
    TcpPeer first;
    ASSERT_TRUE(f.connectClient(first));

    TcpPeer second;
    second.connectTo(f.port());
    EXPECT_TRUE(waitUntil([&] { return second.socket().state() == QAbstractSocket::UnconnectedState; }, 5s));
    EXPECT_EQ(f.session->clients().clientCount(), 1);
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: (1)Connected"));

    first.socket().disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return f.session->clients().clientCount() == 0; }, 5s));
    TcpPeer third;
    ASSERT_TRUE(f.connectClient(third));
    EXPECT_EQ(f.session->clients().socket(1).state(), pvx::platform::kSocketConnected);
}

TEST(BridgeServer, MegabytesFromThreeClientsReachTheDeviceWhole)
{
    // Each client sends its own alphabet; the device must see each client's
    // bytes complete and in order, however they interleave.
    PtyBridge f(PtyBridge::Role::Server);
    ASSERT_TRUE(f.device.ok());
    ASSERT_TRUE(f.activate());
    constexpr qint64 kEach = 1024 * 1024;
    std::array<TcpPeer, 3> clients;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        ASSERT_TRUE(f.connectClient(clients[i]));
        const char letter = static_cast<char>('a' + i);
        clients[i].socket().write(QByteArray(kEach, letter));
    }
    std::array<qint64, 3> counts{};
    bool foreign = false;
    FdPeer device(f.device.master());
    device.receive([&](const QByteArray &bytes) {
        for (const char byte : bytes) {
            const int i = byte - 'a';
            if (i < 0 || i > 2)
                foreign = true;
            else
                ++counts[static_cast<std::size_t>(i)];
        }
    });
    const bool done = waitUntil([&] { return counts[0] == kEach && counts[1] == kEach && counts[2] == kEach; }, 60s);
    EXPECT_TRUE(done) << counts[0] << " " << counts[1] << " " << counts[2];
    EXPECT_FALSE(foreign);
    EXPECT_LE(f.marks.serialUnsent, 8192);
}

TEST(BridgeServer, AThousandClientsConnectingAtOnceAreAllServed)
{
    // Each client takes a descriptor here and two in the session.
    pvx::platform::raiseOpenFileLimit();
    PtyBridge f(PtyBridge::Role::Server);
    ASSERT_TRUE(f.device.ok());
    ASSERT_TRUE(f.activate());
    constexpr int kClients = 1000;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QHostAddress::LocalHost, f.port());
    }
    ASSERT_TRUE(waitUntil([&] { return f.session->clients().clientCount() == kClients; }, 60s)) << f.session->clients().clientCount();
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: (1000)Connected"));

    // A piece for a thousand clients takes several turns: what the device
    // sends meanwhile follows it, in order, to every client.
    QByteArray expected;
    for (int i = 0; i < 20; ++i) {
        const QByteArray piece = "to everyone " + QByteArray::number(i) + '\n';
        ASSERT_EQ(f.device.write(piece), piece.size());
        expected += piece;
    }
    const auto allReceived = [&] {
        return std::all_of(clients.begin(), clients.end(),
                           [&](const auto &client) { return client->bytesAvailable() >= expected.size(); });
    };
    ASSERT_TRUE(waitUntil(allReceived, 60s));
    for (const auto &client : clients)
        EXPECT_EQ(client->readAll(), expected);
}
