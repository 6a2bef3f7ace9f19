#include "session/tcp_client_side.h"

#include "session/virtual_port_side.h"
#include "side_fixture.h"

#include <gtest/gtest.h>

using pvx::platform::ErrorCode;
using pvx::platform::makeError;
using pvx::session::StatusLine;
using pvx::testing::s;

namespace {

/// A client of 192.0.2.1:5000 beside a virtual port COM7.
struct ClientSideTest : pvx::testing::SideFixture {
    ClientSideTest()
    {
        network = &side;
        window.remoteHost.setText(s("192.0.2.1"));
        window.portNumber.setText(s("5000"));
        (void)serial.open(7);
    }
    QString networkStatus() const { return status(StatusLine::Network); }
    /// The client's connection attempt succeeds.
    void connectToServer()
    {
        socket(0).setState(pvx::platform::kSocketConnected);
        socket(0).events.connected();
    }
    /// The reconnect tick, every 5 s.
    pvx::fakes::FakeTimer &reconnectTimer() { return timers.newest(5000); }

    pvx::session::VirtualPortSide serial{virtualPort, serialContext()};
    pvx::session::TcpClientSide side{networkContext(serial), pings};
};

const QString kWaitReason = s("Waiting for a program to open the virtual port /fake/COM7");

} // namespace

TEST(TcpClientSide, StartConnectsUnlessItWaitsForTheProgramOnTheVirtualPort)
{
    const struct {
        const char *name;
        int connectOnOpen;
        bool programThere;
        bool refused;
        int connects;
        const char *status;
        QString reason;
    } cases[] = {
        {"connects", 0, false, false, 1, "TCP/IP Status: Connecting...", {}},
        {"refused at once", 0, false, true, 1, "TCP/IP Status: Connecting...", {}},
        {"waits for the program", 1, false, false, 0, "TCP/IP Status:", kWaitReason},
        {"program there", 1, true, false, 1, "TCP/IP Status: Connecting...", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ClientSideTest f;
        f.window.options.ConnectOnVirtualOpen = static_cast<qint16>(c.connectOnOpen);
        // The program opened the port before the network side started.
        f.network = nullptr;
        f.virtualPort.setOpenedByApplication(c.programThere);
        f.network = &f.side;
        f.networkLine.show(s("TCP/IP Status:"));
        if (c.refused)
            f.socket(0).connectError = makeError(ErrorCode::HostNotFound, s("Host not found"));
        EXPECT_EQ(f.side.start(5000).ok(), !c.refused) << "a refusal at once rolls the activation back";
        EXPECT_EQ(f.socket(0).remoteHost(), s("192.0.2.1"));
        EXPECT_EQ(f.socket(0).remotePort(), 5000);
        EXPECT_EQ(f.socket(0).connectCalls, c.connects);
        EXPECT_EQ(f.status(StatusLine::Network), s(c.status));
        EXPECT_EQ(f.reason(StatusLine::Network), c.reason);
        EXPECT_EQ(f.side.clientCount(), 0);
    }
}

TEST(TcpClientSide, ReconnectsEveryFiveSecondsUntilConnected)
{
    ClientSideTest f;
    ASSERT_TRUE(f.side.start(5000));
    EXPECT_EQ(f.reconnectTimer().interval(), 5000);
    EXPECT_FALSE(f.reconnectTimer().isActive());

    f.socket(0).events.error(10061, s("Connection refused"));
    EXPECT_EQ(f.status(StatusLine::Network), s("TCP/IP Status: Closed"));
    EXPECT_EQ(f.logged, QStringList{s("Connection refused")});
    EXPECT_EQ(f.errorBoxes, QStringList{s("Connection refused")});
    ASSERT_TRUE(f.reconnectTimer().isActive());

    f.window.remoteHost.setText(s("192.0.2.99"));
    f.reconnectTimer().fire();
    EXPECT_EQ(f.socket(0).connectCalls, 2);
    EXPECT_EQ(f.socket(0).remoteHost(), s("192.0.2.99"));
    EXPECT_EQ(f.status(StatusLine::Network), s("TCP/IP Status: Connecting..."));

    // The attempt is still pending at the next tick: it is given up and
    // reported, and the tick after that starts afresh.
    f.reconnectTimer().fire();
    EXPECT_EQ(f.socket(0).state(), pvx::platform::kSocketClosed);
    EXPECT_EQ(f.socket(0).remoteHost(), QString());
    EXPECT_EQ(f.status(StatusLine::Network), s("TCP/IP Status: Error - Wrong protocol or connection state"));
    EXPECT_EQ(f.logged.last(), s("Wrong protocol or connection state"));
    f.reconnectTimer().fire();
    EXPECT_EQ(f.socket(0).state(), pvx::platform::kSocketConnecting);

    f.connectToServer();
    EXPECT_FALSE(f.reconnectTimer().isActive());
    EXPECT_EQ(f.status(StatusLine::Network), s("TCP/IP Status: Connected"));
    EXPECT_EQ(f.side.clientCount(), 1);
}

TEST(TcpClientSide, FollowsTheProgramOnTheVirtualPort)
{
    ClientSideTest f;
    f.window.options.ConnectOnVirtualOpen = 1;
    ASSERT_TRUE(f.side.start(5000));
    EXPECT_EQ(f.socket(0).connectCalls, 0);

    f.virtualPort.setOpenedByApplication(true);
    EXPECT_EQ(f.status(StatusLine::Network), s("TCP/IP Status: Connecting..."));
    EXPECT_EQ(f.socket(0).connectCalls, 1);
    f.connectToServer();

    f.virtualPort.setOpenedByApplication(false);
    EXPECT_EQ(f.status(StatusLine::Network), s("TCP/IP Status: Closed"));
    EXPECT_EQ(f.reason(StatusLine::Network), kWaitReason);
    EXPECT_EQ(f.socket(0).state(), pvx::platform::kSocketClosed);

    f.virtualPort.setOpenedByApplication(true);
    EXPECT_EQ(f.socket(0).connectCalls, 2);
    // Closed again before the attempt completes: the attempt goes too, and
    // no reconnect brings the connection back while the port is closed.
    f.virtualPort.setOpenedByApplication(false);
    EXPECT_EQ(f.socket(0).state(), pvx::platform::kSocketClosed);
    f.side.closeConnection(0);
    f.reconnectTimer().fire();
    EXPECT_EQ(f.socket(0).connectCalls, 2);
    EXPECT_FALSE(f.reconnectTimer().isActive());
}

TEST(TcpClientSide, AcceptsNothingAndNeverCountsBelowZero)
{
    ClientSideTest f;
    ASSERT_TRUE(f.side.start(5000));
    f.socket(0).events.connectionRequest(7);
    EXPECT_EQ(f.sockets.created.size(), 1);
    f.connectToServer();
    f.socket(0).peerCloses();
    f.side.closeConnection(0);
    EXPECT_EQ(f.links.clientCount(), 0);
    EXPECT_EQ(f.side.clientCount(), 0);
    EXPECT_EQ(f.status(StatusLine::Network), s("TCP/IP Status: Closed"));
}

TEST(TcpClientSide, AFailedTlsHandshakeIsShownWithItsReasonAndTriedAgain)
{
    ClientSideTest f;
    f.window.options.Tls = 1;
    f.window.options.TlsTrust = s("ca.pem");
    ASSERT_TRUE(f.side.start(5000));
    ASSERT_EQ(f.sockets.tlsLoads.size(), 1);
    EXPECT_EQ(f.sockets.tlsLoads[0].role, pvx::platform::TlsRole::Client);
    EXPECT_EQ(f.sockets.tlsLoads[0].trustPath, s("ca.pem"));
    EXPECT_NE(f.socket(0).tls, nullptr);

    f.socket(0).finishHandshake(s("the server's certificate has expired"));
    EXPECT_EQ(f.status(StatusLine::Network), s("TCP/IP Status: Error - the server's certificate has expired"));
    EXPECT_EQ(f.logged, QStringList{s("the server's certificate has expired")});
    EXPECT_TRUE(f.errorBoxes.isEmpty()) << "a failing server must not pile up boxes every 5 s";
    EXPECT_EQ(f.socket(0).state(), pvx::platform::kSocketClosed);
    ASSERT_TRUE(f.reconnectTimer().isActive());

    f.reconnectTimer().fire();
    EXPECT_EQ(f.socket(0).connectCalls, 2);
    f.socket(0).finishHandshake();
    EXPECT_EQ(f.status(StatusLine::Network), s("TCP/IP Status: Connected"));
    EXPECT_EQ(f.side.clientCount(), 1);
}
