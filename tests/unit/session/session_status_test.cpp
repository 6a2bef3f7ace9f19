#include "session/session.h"

#include "bridge_fixture.h"

#include <gtest/gtest.h>

using pvx::session::Role;
using pvx::testing::BridgeFixture;
using pvx::testing::pattern;
using pvx::testing::s;
using Side = BridgeFixture::Side;

TEST(SessionStatus, CountsEachByteOnceWhereItLeavesItsBufferAndStartsAfreshAtActivation)
{
    BridgeFixture f(BridgeFixture::Role::Server);
    f.activate();
    const int one = f.connectClient();
    const int two = f.connectClient();

    f.serialSends(pattern(100));
    ASSERT_EQ(f.socket(two).sentBytes(), pattern(100));
    EXPECT_EQ(f.session->status().moved.toNetwork, 100) << "once, not once per client";

    f.serial->room = 10;
    f.socket(one).arrive(pattern(20, 1));
    f.socket(two).arrive(pattern(30, 2));
    EXPECT_EQ(f.session->status().moved.toSerial, 10);
    EXPECT_EQ(f.session->status().heldToSerial, 40);

    // Packets wait for the quiet time and count when they go.
    f.window().waitForTimeout.setValue(1);
    f.serialSends(pattern(70));
    EXPECT_EQ(f.session->status().heldToNetwork, 70);
    f.tick(5);
    EXPECT_EQ(f.session->status().heldToNetwork, 0);
    EXPECT_EQ(f.session->status().moved.toNetwork, 170);

    f.session->toggleActive();
    EXPECT_EQ(f.session->status().moved.toNetwork, 170) << "deactivation keeps the counts";
    f.activate();
    const auto fresh = f.session->status();
    EXPECT_EQ(fresh.moved.toNetwork + fresh.moved.toSerial + fresh.heldToNetwork + fresh.heldToSerial, 0);
}

TEST(SessionStatus, BytesThatAreThrownAwayAreNotCounted)
{
    // A UDP server has nobody to answer before the first datagram.
    BridgeFixture udp(BridgeFixture::Role::Server, Side::RealPort, true);
    udp.activate();
    udp.serialSends("lost");
    EXPECT_EQ(udp.session->status().moved.toNetwork, 0);
    udp.socket(0).arriveDatagram("hello", s("192.0.2.7"), 4001);
    udp.serialSends("answer");
    EXPECT_EQ(udp.session->status().moved.toNetwork, 6);
    EXPECT_EQ(udp.session->status().moved.toSerial, 5);

    // Nobody has the virtual port open and nothing is buffered.
    BridgeFixture virtualPort(BridgeFixture::Role::Server, Side::VirtualPort);
    virtualPort.activate();
    virtualPort.serialSends("nobody listens");
    virtualPort.socket(virtualPort.connectClient()).arrive("nobody reads");
    virtualPort.tick();
    const auto status = virtualPort.session->status();
    EXPECT_EQ(status.moved.toNetwork + status.moved.toSerial + status.heldToNetwork + status.heldToSerial, 0);
}

TEST(SessionStatus, NameRoleAndAddressFollowTheSettings)
{
    const struct {
        BridgeFixture::Role role;
        bool udp;
        const char *name;
        const char *expectedName;
        const char *expectedAddress;
    } cases[] = {
        {BridgeFixture::Role::Client, false, "", "COM4", "192.0.2.1"},
        {BridgeFixture::Role::Server, false, "Scale", "Scale", "192.0.2.10"},
        {BridgeFixture::Role::Server, true, "", "COM4", "192.0.2.10"},
    };
    for (const auto &c : cases) {
        BridgeFixture f(c.role, Side::RealPort, c.udp);
        f.window().localAddress.setText(s("192.0.2.10"));
        if (*c.name)
            f.window().setWindowName(s(c.name));
        f.activate();
        if (c.role == BridgeFixture::Role::Server && !c.udp)
            f.connectClient();
        const auto status = f.session->status();
        EXPECT_EQ(status.name, s(c.expectedName));
        EXPECT_EQ(status.connector, s("COM4"));
        EXPECT_EQ(status.role, c.role == BridgeFixture::Role::Server ? Role::Server : Role::Client);
        EXPECT_EQ(status.udp, c.udp);
        EXPECT_EQ(status.address, s(c.expectedAddress));
        EXPECT_EQ(status.port, 5000);
        EXPECT_EQ(status.serial, s("COM Status: Open"));
        EXPECT_EQ(status.network, f.status(pvx::testing::kNetworkLine));
        EXPECT_EQ(status.clients, c.role == BridgeFixture::Role::Server && !c.udp ? 1 : 0);
    }
}
