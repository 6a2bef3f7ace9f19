#include "session/client_links.h"

#include "fakes/fake_socket.h"

#include <gtest/gtest.h>

#include <vector>

using pvx::fakes::FakeSocket;
using pvx::fakes::FakeSocketFactory;
using pvx::platform::kSocketClosed;
using pvx::platform::kSocketConnected;
using pvx::platform::kSocketListening;
using pvx::session::ClientLinks;
using Stall = ClientLinks::Stall;

namespace {

constexpr int kLimit = 3;

/// A socket array on fake sockets whose events report their own index.
struct LinksFixture {
    LinksFixture()
        : links(factory, [this](int index) {
              pvx::platform::Socket::Events events;
              events.connected = [this, index] { connectedEvents.push_back(index); };
              return events;
          })
    {
    }

    FakeSocket &socket(int index) { return factory.socket(index); }

    /// A listener on socket 0 with connected clients on sockets 1 to `clients`.
    void listenWithClients(int clients)
    {
        socket(0).setState(kSocketListening);
        for (int i = 0; i < clients; ++i) {
            const int index = links.freeClientSocket();
            socket(index).setState(kSocketConnected);
            links.countClient(index);
        }
    }

    std::vector<Stall> stalls(int index, bool serialDataQueued, int ticks)
    {
        std::vector<Stall> found;
        for (int i = 0; i < ticks; ++i)
            found.push_back(links.countStall(index, serialDataQueued, kLimit));
        return found;
    }

    FakeSocketFactory factory;
    std::vector<int> connectedEvents;
    ClientLinks links;
};

} // namespace

TEST(ClientLinks, ReusesTheLowestClosedSocketAndWiresEachToItsIndex)
{
    LinksFixture f;
    EXPECT_EQ(f.links.maxSocketIndex(), 0);
    f.listenWithClients(3);
    EXPECT_EQ(f.links.maxSocketIndex(), 3);
    f.socket(2).close();
    f.socket(1).close();
    EXPECT_EQ(f.links.freeClientSocket(), 1);
    EXPECT_EQ(f.factory.created.size(), 4);

    for (const int index : {3, 0, 1})
        f.socket(index).events.connected();
    EXPECT_EQ(f.connectedEvents, (std::vector<int>{3, 0, 1}));
}

TEST(ClientLinks, OnlyCountedClientsLeaveTheCountAndItNeverGoesBelowZero)
{
    LinksFixture f;
    f.listenWithClients(2);
    EXPECT_EQ(f.links.clientCount(), 2);
    EXPECT_TRUE(f.links.leaveClientCount(1));
    EXPECT_FALSE(f.links.leaveClientCount(1));
    EXPECT_FALSE(f.links.leaveClientCount(0));
    EXPECT_EQ(f.links.clientCount(), 1);

    f.socket(2).setLocalPort(5000);
    f.links.closeAll();
    EXPECT_EQ(f.links.clientCount(), 0);
    EXPECT_EQ(f.socket(2).state(), kSocketClosed);
    EXPECT_EQ(f.socket(2).localPort(), 0);
    EXPECT_FALSE(f.links.leaveClientCount(2));
}

TEST(ClientLinks, DestinationsAndTheFirstClientFollowTheConnectedSockets)
{
    const struct {
        const char *name;
        std::vector<int> closed;
        std::vector<int> draining;
        std::vector<int> all;
        int first;
    } cases[] = {
        {"all connected", {}, {}, {1, 2, 3}, 1},
        {"the first has left", {1}, {}, {2, 3}, 2},
        {"a departed peer still draining", {}, {1}, {2, 3}, 2},
        {"nobody", {1, 2, 3}, {}, {}, 4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        LinksFixture f;
        f.listenWithClients(3);
        for (const int index : c.closed)
            f.socket(index).close();
        for (const int index : c.draining)
            f.links.startDraining(index);
        EXPECT_EQ(f.links.connectedSockets(false), c.all);
        EXPECT_EQ(f.links.connectedSockets(true),
                  c.all.empty() ? std::vector<int>{} : std::vector<int>{c.all.front()});
        EXPECT_EQ(f.links.firstConnectedClient(), c.first);
        EXPECT_EQ(f.links.anyConnected(), !c.all.empty());
    }
}

TEST(ClientLinks, ADrainingClientKeepsWhetherItWasFirst)
{
    LinksFixture f;
    f.listenWithClients(2);
    EXPECT_TRUE(f.links.startDraining(1));
    EXPECT_FALSE(f.links.startDraining(1));
    EXPECT_TRUE(f.links.startDraining(2));
    // Socket 2 is the first connected client now that 1 drains, and stays so.
    EXPECT_TRUE(f.links.isFirstClient(1));
    EXPECT_TRUE(f.links.isFirstClient(2));

    LinksFixture g;
    g.listenWithClients(2);
    EXPECT_TRUE(g.links.startDraining(2));
    EXPECT_FALSE(g.links.isFirstClient(2));
    EXPECT_TRUE(g.links.isFirstClient(1));
}

TEST(ClientLinks, ASlowDestinationLimitsTheRoomAndStallsAfterTheLimit)
{
    LinksFixture f;
    f.listenWithClients(2);
    f.socket(1).pendingOutput = 80;
    EXPECT_EQ(f.links.sendRoom({1, 2}, 50, 100), 20);
    EXPECT_EQ(f.links.sendRoom({2}, 50, 100), 50);
    f.socket(1).pendingOutput = 120;
    EXPECT_EQ(f.links.sendRoom({1, 2}, 50, 100), 0);

    // Only socket 1 holds the serial side back.
    EXPECT_EQ(f.stalls(2, true, kLimit), (std::vector<Stall>(kLimit, Stall::None)));
    EXPECT_EQ(f.stalls(1, true, kLimit), (std::vector<Stall>{Stall::None, Stall::None, Stall::TakesNothing}));

    // Progress restarts the count; nothing left to send ends the hold.
    f.links.tookData(1);
    EXPECT_EQ(f.stalls(1, true, 2), (std::vector<Stall>(2, Stall::None)));
    EXPECT_EQ(f.stalls(1, false, 1), (std::vector<Stall>{Stall::None}));
    EXPECT_EQ(f.stalls(1, true, kLimit * 2), (std::vector<Stall>(kLimit * 2, Stall::None)));
}

TEST(ClientLinks, ADrainThatFindsNoRoomIsReportedUntilItMoves)
{
    LinksFixture f;
    f.listenWithClients(1);
    ASSERT_TRUE(f.links.startDraining(1));
    EXPECT_EQ(f.stalls(1, false, 2), (std::vector<Stall>(2, Stall::None)));
    f.links.drainMoved(1);
    EXPECT_EQ(f.stalls(1, false, kLimit), (std::vector<Stall>{Stall::None, Stall::None, Stall::DrainStuck}));
    f.links.forget(1);
    EXPECT_FALSE(f.links.isDraining(1));
    EXPECT_EQ(f.stalls(1, false, kLimit), (std::vector<Stall>(kLimit, Stall::None)));
}
