#include "session/session.h"

#include "bridge_fixture.h"
#include "session/flow_limits.h"

#include <gtest/gtest.h>

using pvx::platform::ErrorCode;
using pvx::platform::makeError;
using pvx::testing::BridgeFixture;
using pvx::testing::kNetworkLine;
using pvx::testing::pattern;
using pvx::testing::s;
using Role = BridgeFixture::Role;
using Side = BridgeFixture::Side;

TEST(Connections, ClientListShowsTheConnectedPeersInSocketOrder)
{
    BridgeFixture f(Role::Server);
    f.activate();
    f.connectClient("198.51.100.1");
    const int second = f.connectClient("198.51.100.2");
    f.connectClient("198.51.100.3");
    f.socket(second).peerCloses();
    f.session->showConnectedClients();
    f.connectClient("203.0.113.4");  // takes the freed socket
    f.session->showConnectedClients();

    ASSERT_EQ(f.dialogs.messages.size(), 2);
    EXPECT_EQ(f.dialogs.messages[0].title, s("Connected Clients:"));
    EXPECT_EQ(f.dialogs.messages[0].text, s("198.51.100.1\r\n198.51.100.3\r\n"));
    EXPECT_EQ(f.dialogs.messages[1].text, s("198.51.100.1\r\n203.0.113.4\r\n198.51.100.3\r\n"));
}

TEST(Connections, AnEndedClientLeavesTheCountAtOnceAndItsLastBytesFollowItsRoute)
{
    const struct {
        const char *name;
        bool reset;
        qint16 serverTcpOption;
        int ending;
        bool passes;
    } cases[] = {
        {"closed", false, 0, 2, true},
        {"reset", true, 0, 2, true},
        {"reset, first client only, it was first", true, 2, 1, true},
        {"closed, first client only, it was not first", false, 2, 2, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        BridgeFixture f(Role::Server, Side::VirtualPort);
        f.window().options.ServerTCPOptions = c.serverTcpOption;
        f.bufferSize(0);
        f.activate();
        f.vport->setOpenedByApplication(true);
        f.vport->room = 0;
        f.connectClient();
        f.connectClient();
        const int staying = 3 - c.ending;
        f.socket(c.ending).arrive(pattern(3000));
        if (c.reset)
            f.socket(c.ending).peerResets();
        else
            f.socket(c.ending).peerCloses();

        EXPECT_EQ(f.session->clients().clientCount(), 1);
        EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: (1)Connected"));
        EXPECT_EQ(f.logText().contains(s("Porvix Error: Connection reset by peer, ")), c.reset);
        EXPECT_EQ(f.dialogs.notices.size(), c.reset ? 1 : 0);
        // Serial data goes only to the client that is still there.
        f.serialSends("to the network");
        EXPECT_EQ(f.socket(staying).sentBytes(), QByteArray("to the network"));
        EXPECT_TRUE(f.socket(c.ending).sent.isEmpty());

        for (int tick = 0; tick < 4; ++tick) {
            f.vport->room = 1000;
            f.tick();
        }
        EXPECT_EQ(f.vport->written, c.passes ? pattern(3000) : QByteArray());
        EXPECT_EQ(f.socket(c.ending).state(), pvx::platform::kSocketClosed);
        EXPECT_EQ(f.socket(staying).state(), pvx::platform::kSocketConnected);
        EXPECT_EQ(f.session->clients().clientCount(), 1);
    }
}

TEST(Connections, AListenerWarningIsOnlyLoggedAndAListenerErrorLastsUntilTheNextActivation)
{
    BridgeFixture f(Role::Server);
    f.activate();
    f.connectClient();
    f.connectClient();

    f.socket(0).events.warning(s("Too many open files: new clients wait until a descriptor is free"));
    EXPECT_TRUE(f.logText().contains(s("Porvix Error: Too many open files: new clients wait")));
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: (2)Connected"));

    f.socket(0).events.error(10050, s("Accepting clients failed: Invalid argument"));
    f.session->toggleActive();
    f.activate();
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: Listening..."));
    EXPECT_EQ(f.session->clients().clientCount(), 0);
}

TEST(Connections, ACloseRaisedWhileClosingIsIgnored)
{
    BridgeFixture f(Role::Server);
    f.activate();
    f.connectClient();
    const int second = f.connectClient();
    f.socket(second).raisesClosedWhenClosed = true;
    f.socket(second).events.error(10054, s("Connection reset by peer"));
    EXPECT_EQ(f.session->clients().clientCount(), 1);
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: (1)Connected"));
    // The socket is free for the next client, not left waiting to drain.
    f.tick(pvx::session::kStallTicks);
    EXPECT_EQ(f.session->clients().clientCount(), 1);
    EXPECT_EQ(f.connectClient(), second);
}

TEST(Connections, ErrorsAboveTenThousandEndTheConnection)
{
    const struct {
        int number;
        bool closes;
    } cases[] = {{10061, true}, {11001, true}, {10001, true}, {10000, false}, {40020, false}, {9999, false}};
    for (const auto &c : cases) {
        BridgeFixture f(Role::Server);
        f.activate();
        const int client = f.connectClient();
        f.socket(client).events.error(c.number, s("Something failed"));
        EXPECT_EQ(f.socket(client).state() == pvx::platform::kSocketClosed, c.closes) << c.number;
        EXPECT_EQ(f.status(kNetworkLine), c.closes ? s("TCP/IP Status: Listening...") : s("TCP/IP Status: Error"))
            << c.number;
        EXPECT_TRUE(f.logText().contains(s("Porvix Error: TCP/IP Status: Error (Something failed), "))) << c.number;
        EXPECT_TRUE(f.logText().contains(s("Porvix Error: Something failed, "))) << c.number;
        ASSERT_EQ(f.dialogs.notices.size(), 1) << c.number;
        EXPECT_EQ(f.dialogs.notices[0].text, s("Something failed"));
    }
}

TEST(Connections, ErrorBoxesAreKeyedPerSession)
{
    BridgeFixture a(Role::Client);
    BridgeFixture b(Role::Client);
    a.activate();
    b.activate();
    a.socket(0).events.error(10061, s("Connection refused"));
    a.socket(0).events.error(10061, s("Connection refused"));
    b.socket(0).events.error(10061, s("Connection refused"));
    ASSERT_EQ(a.dialogs.notices.size(), 2);
    EXPECT_EQ(a.dialogs.notices[0].key, a.dialogs.notices[1].key);
    EXPECT_NE(a.dialogs.notices[0].key, b.dialogs.notices[0].key);
}

TEST(Connections, ReopenedVirtualPortConnectsToTheConfiguredServerAgain)
{
    BridgeFixture f(Role::Client, Side::VirtualPort);
    f.window().options.ConnectOnVirtualOpen = 1;
    f.activate();
    f.vport->setOpenedByApplication(true);
    EXPECT_TRUE(f.window().statusLine(kNetworkLine).toolTip().isEmpty());
    f.connectToServer();
    f.socket(0).peerCloses();
    // The server stops answering: one attempt stays pending and the next
    // tick gives it up, blanking the socket's host and port.
    f.reconnectTimer().fire();
    f.reconnectTimer().fire();
    ASSERT_EQ(f.socket(0).remoteHost(), QString());
    f.vport->setOpenedByApplication(false);
    EXPECT_EQ(f.window().statusLine(kNetworkLine).toolTip(), s("Waiting for a program to open the virtual port /fake/COM4"));

    f.vport->setOpenedByApplication(true);
    EXPECT_EQ(f.socket(0).remoteHost(), s("192.0.2.1"));
    EXPECT_EQ(f.socket(0).remotePort(), 5000);
    EXPECT_EQ(f.socket(0).state(), pvx::platform::kSocketConnecting);
    const QString lastLine = f.logText().split(s("\r\n"), Qt::SkipEmptyParts).last();
    EXPECT_TRUE(lastLine.startsWith(s("Porvix Error: TCP/IP Status: Connecting..., ")));
    EXPECT_TRUE(lastLine.endsWith(s("Remote Host: 192.0.2.1, RemotePort: 5000")));

    // A connect that fails at once is shown, logged and retried by the tick.
    f.vport->setOpenedByApplication(false);
    f.socket(0).connectError = makeError(ErrorCode::HostNotFound, s("Host not found"));
    f.vport->setOpenedByApplication(true);
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: Error - Host not found"));
    EXPECT_TRUE(f.logText().contains(s("Porvix Error: Host not found, ")));
    EXPECT_EQ(f.socket(0).state(), pvx::platform::kSocketClosed);
    ASSERT_TRUE(f.reconnectTimer().isActive());
    f.socket(0).connectError.reset();
    const int attempts = f.socket(0).connectCalls;
    f.reconnectTimer().fire();
    EXPECT_EQ(f.socket(0).connectCalls, attempts + 1);
    EXPECT_EQ(f.socket(0).state(), pvx::platform::kSocketConnecting);
}

TEST(Connections, VirtualPortEventsLeaveOtherRolesAlone)
{
    const struct {
        Role role;
        bool udp;
    } cases[] = {{Role::Server, false}, {Role::Client, true}};
    for (const auto &c : cases) {
        BridgeFixture f(c.role, Side::VirtualPort, c.udp);
        f.window().options.ConnectOnVirtualOpen = 1;
        f.activate();
        const QString before = f.status(kNetworkLine);
        f.vport->setOpenedByApplication(true);
        f.vport->setOpenedByApplication(false);
        EXPECT_EQ(f.status(kNetworkLine), before);
        EXPECT_EQ(f.socket(0).connectCalls, 0);
        EXPECT_NE(f.socket(0).state(), pvx::platform::kSocketClosed);
    }
}
