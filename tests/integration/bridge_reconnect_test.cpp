// The client's reconnect cycle on the real timer.
#include "bridge_fixture.h"

#include <QTcpServer>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using pvx::testing::kNetworkLine;
using pvx::testing::PtyBridge;
using pvx::testing::s;

TEST(BridgeReconnect, AClientComesBackWhenItsServerDoes)
{
    PtyBridge f(PtyBridge::Role::Client);
    ASSERT_TRUE(f.device.ok());
    ASSERT_TRUE(f.activate());
    // Nothing listens yet: refused, closed, and the 5 s cycle begins.
    ASSERT_TRUE(waitUntil([&] { return f.status(kNetworkLine) == s("TCP/IP Status: Closed"); }, 5s));
    EXPECT_TRUE(f.logText().contains(s("Porvix Error: TCP/IP Status: Error (Connection refused), ")));
    EXPECT_EQ(f.dialogs.notices.size(), 1);

    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, f.port()));
    ASSERT_TRUE(waitUntil([&] { return server.hasPendingConnections(); }, 8s));
    ASSERT_TRUE(waitUntil([&] { return f.status(kNetworkLine) == s("TCP/IP Status: Connected"); }, 2s));
    EXPECT_TRUE(f.logText().contains(s("Porvix Error: TCP/IP Status: Connecting..., ")));

    // The server goes away: closed, and back once more.
    delete server.nextPendingConnection();
    ASSERT_TRUE(waitUntil([&] { return f.status(kNetworkLine) == s("TCP/IP Status: Closed"); }, 5s));
    ASSERT_TRUE(waitUntil([&] { return server.hasPendingConnections(); }, 8s));
}
