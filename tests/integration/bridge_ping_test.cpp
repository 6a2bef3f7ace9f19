// Sessions keep bridging while their pings wait; a late answer acts then.
#include "bridge_fixture.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <array>

using namespace std::chrono_literals;
using pvx::testing::PtyBridge;
using pvx::testing::TcpPeer;

namespace {

/// A server bridge with one loopback client, pinging it every 9 ticks.
struct WatchedBridge {
    WatchedBridge()
    {
        f.settings.PingEnabled = 1;
        f.settings.PingFrequency = 0;
        ok = f.device.ok() && f.activate() && f.connectClient(client);
    }

    bool pingWaits() { return waitUntil([&] { return f.echo.pending.size() == 1; }, 5s); }

    /// Bytes travel both ways through the bridge.
    bool bridges(const QByteArray &bytes)
    {
        if (f.device.write(bytes) != bytes.size())
            return false;
        QByteArray atClient;
        QByteArray atDevice;
        const bool out = waitUntil([&] { atClient += client.socket().readAll(); return atClient.size() >= bytes.size(); }, 5s);
        client.socket().write(bytes);
        const bool in = waitUntil([&] { atDevice += f.device.read(); return atDevice.size() >= bytes.size(); }, 5s);
        return out && in && atClient == bytes && atDevice == bytes;
    }

    PtyBridge f{PtyBridge::Role::Server};
    TcpPeer client;
    bool ok = false;
};

pvx::platform::EchoReply replyWith(int status)
{
    pvx::platform::EchoReply reply;
    reply.status = status;
    return reply;
}

} // namespace

TEST(BridgePing, DataFlowsWhileAPingWaitsForItsAnswer)
{
    WatchedBridge b;
    ASSERT_TRUE(b.ok);
    ASSERT_TRUE(b.pingWaits());
    for (int round = 0; round < 5; ++round)
        EXPECT_TRUE(b.bridges("while the ping waits")) << round;
    runEventsFor(600ms);
    // Still the one pass: nothing asked again, nothing closed.
    EXPECT_EQ(b.f.echo.pending.size(), 1);
    EXPECT_TRUE(b.client.connected());
}

TEST(BridgePing, FiftySessionsWithHalfThePeersSilent)
{
    constexpr int kSessions = 50;
    std::array<std::unique_ptr<WatchedBridge>, kSessions> bridges;
    for (auto &bridge : bridges) {
        bridge = std::make_unique<WatchedBridge>();
        ASSERT_TRUE(bridge->ok);
    }
    for (auto &bridge : bridges)
        ASSERT_TRUE(bridge->pingWaits());

    // The echo answers from the event loop: odd sessions' peers never answer.
    for (int i = 0; i < kSessions; ++i) {
        auto &echo = bridges[static_cast<std::size_t>(i)]->f.echo;
        const int id = echo.pending.firstKey();
        QTimer::singleShot(i, [&echo, id, i] { echo.answer(id, replyWith(i % 2 == 0 ? 0 : 11010)); });
    }
    for (int i = 0; i < kSessions; ++i) {
        auto &bridge = *bridges[static_cast<std::size_t>(i)];
        if (i % 2 == 0) {
            EXPECT_TRUE(bridge.bridges("answered")) << i;
            // The next pass follows: the watch did not stall.
            EXPECT_TRUE(bridge.pingWaits()) << i;
        } else {
            EXPECT_TRUE(waitUntil([&] { return !bridge.client.connected(); }, 5s)) << i;
            EXPECT_TRUE(bridge.f.logText().contains(QStringLiteral("Ping Failed - Ping Result = 11010"))) << i;
        }
    }
}
