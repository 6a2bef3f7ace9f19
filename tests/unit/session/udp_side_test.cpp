#include "session/udp_side.h"

#include "session/virtual_port_side.h"
#include "side_fixture.h"

#include <gtest/gtest.h>

using pvx::platform::ErrorCode;
using pvx::platform::makeError;
using pvx::session::Role;
using pvx::session::StatusLine;
using pvx::testing::s;

namespace {

/// A datagram socket for 192.0.2.1:5000 (client) or on 192.0.2.5:5000 (server).
struct UdpSideTest : pvx::testing::SideFixture {
    explicit UdpSideTest(Role role) : side(networkContext(serial), role)
    {
        network = &side;
        window.remoteHost.setText(s("192.0.2.1"));
        window.localAddress.setText(s("192.0.2.5"));
        (void)serial.open(7);
    }
    /// The serial side read `bytes`, which the session sends as one piece.
    void serialSends(const QByteArray &bytes)
    {
        toNetwork.append(bytes);
        EXPECT_EQ(side.send({.length = static_cast<qint32>(bytes.size())}), bytes.size());
    }
    QByteArray toSerialBytes()
    {
        qint32 all = -1;
        return toSerial.take(all);
    }

    pvx::session::VirtualPortSide serial{virtualPort, serialContext()};
    pvx::session::UdpSide side;
};

} // namespace

TEST(UdpSide, StartBindsPerRole)
{
    const struct {
        const char *name;
        Role role;
        bool bindRefused;
        bool started;
        const char *boundAddress;
        const char *status;
    } cases[] = {
        {"server", Role::Server, false, true, "192.0.2.5", "TCP/IP Status: Listening..."},
        {"server refused", Role::Server, true, false, "192.0.2.5", "TCP/IP Status:"},
        {"client", Role::Client, false, true, "", "TCP/IP Status: Connecting..."},
        {"client, any port will do", Role::Client, true, true, "", "TCP/IP Status: Connecting..."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        UdpSideTest f(c.role);
        f.networkLine.show(s("TCP/IP Status:"));
        if (c.bindRefused)
            f.socket(0).bindError = makeError(ErrorCode::AddressInUse, s("Address in use"));
        EXPECT_EQ(f.side.start(5000).ok(), c.started);
        EXPECT_EQ(f.socket(0).protocol(), pvx::platform::SocketProtocol::Udp);
        EXPECT_EQ(f.socket(0).boundPort, 5000);
        EXPECT_EQ(f.socket(0).boundAddress, s(c.boundAddress));
        EXPECT_EQ(f.socket(0).remotePort(), 5000);
        EXPECT_EQ(f.status(StatusLine::Network), s(c.status));
    }
}

TEST(UdpSide, TheServerAnswersTheLastSenderAndNobodyBeforeTheFirst)
{
    UdpSideTest f(Role::Server);
    f.window.options.ServerTCPOptions = 2;  // first client only: datagrams have none
    ASSERT_TRUE(f.side.start(5000));
    f.serialSends("before");
    EXPECT_TRUE(f.socket(0).sent.isEmpty());

    f.socket(0).arriveDatagram("ping", s("192.0.2.7"), 4001);
    f.serialSends("one");
    f.socket(0).arriveDatagram("", s("192.0.2.8"), 4002);
    f.socket(0).arriveDatagram("pong", s("192.0.2.8"), 4002);
    f.serialSends("two");
    EXPECT_EQ(f.socket(0).sent, (QList<QByteArray>{"one", "two"}));
    EXPECT_EQ(f.socket(0).sentTo, (QStringList{s("192.0.2.7:4001"), s("192.0.2.8:4002")}));
    EXPECT_EQ(f.toSerialBytes(), QByteArray("pingpong"));
}

TEST(UdpSide, DatagramsThatFindNoRoomOrThatRoutingIgnoresAreDropped)
{
    const struct {
        const char *name;
        Role role;
        qint16 option;
        qint32 kept;
    } cases[] = {
        {"no room for all of it", Role::Client, 0, 1024},
        {"client without serial output", Role::Client, 1, 0},
        {"server ignoring the network", Role::Server, 1, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        UdpSideTest f(c.role);
        f.window.options.ClientOptions = c.option;
        f.window.options.ServerTCPOptions = c.option;
        ASSERT_TRUE(f.side.start(5000));
        f.socket(0).arriveDatagram(QByteArray(1500, 'x'), s("192.0.2.1"), 5000);
        f.socket(0).arriveDatagram("more", s("192.0.2.1"), 5000);
        EXPECT_EQ(f.toSerial.count(), c.kept);
        EXPECT_TRUE(f.socket(0).datagrams.isEmpty()) << "every datagram is read";
    }
}

TEST(UdpSide, HasNoReconnectAndKeepsItsSocketOnErrors)
{
    UdpSideTest f(Role::Client);
    ASSERT_TRUE(f.side.start(5000));
    f.socket(0).events.error(10054, s("Connection reset by peer"));
    EXPECT_EQ(f.socket(0).state(), pvx::platform::kSocketOpen);
    EXPECT_EQ(f.status(StatusLine::Network), s("TCP/IP Status: Error"));
    EXPECT_EQ(f.reason(StatusLine::Network), s("Connection reset by peer"));
    EXPECT_EQ(f.errorBoxes, QStringList{s("Connection reset by peer")});
    EXPECT_TRUE(f.timers.created.isEmpty());
    EXPECT_EQ(f.socket(0).connectCalls, 0);
}

TEST(UdpSide, DropsDatagramsFromAddressesNotAllowed)
{
    for (const Role role : {Role::Server, Role::Client}) {
        SCOPED_TRACE(role == Role::Server ? "server" : "client");
        UdpSideTest f(role);
        f.window.options.AllowFrom = s("192.0.2.0/29");
        ASSERT_TRUE(f.side.start(5000));
        f.socket(0).arriveDatagram("from 1", s("192.0.2.1"), 5000);
        f.socket(0).arriveDatagram("stranger", s("192.0.2.9"), 4009);
        f.socket(0).arriveDatagram("stranger again", s("192.0.2.9"), 4009);
        EXPECT_EQ(f.toSerialBytes(), QByteArray("from 1"));
        EXPECT_EQ(f.logged.filter(s("Refused")), QStringList{s("Refused 192.0.2.9: not in AllowFrom")});
        EXPECT_EQ(f.side.refusedPeers(), 2) << "every dropped datagram counts";
        f.serialSends("answer");
        EXPECT_EQ(f.socket(0).remotePort(), 5000) << "a stranger does not become the peer answered";
    }
}
