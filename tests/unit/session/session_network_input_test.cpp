#include "session/session.h"

#include "bridge_fixture.h"

#include <gtest/gtest.h>

#include <cctype>

using pvx::testing::kNetworkLine;
using pvx::testing::BridgeFixture;
using pvx::testing::pattern;
using pvx::testing::s;
using Role = BridgeFixture::Role;
using Side = BridgeFixture::Side;

TEST(NetworkInput, RoutingOptionsChooseWhatReachesTheSerialSide)
{
    const struct {
        Role role;
        qint16 option;
        QByteArray expected;
    } cases[] = {
        {Role::Server, 0, "onetwo"}, {Role::Server, 1, ""}, {Role::Server, 2, "one"},
        {Role::Client, 0, "one"},    {Role::Client, 1, ""}, {Role::Client, 2, "one"},
    };
    for (const auto &c : cases) {
        BridgeFixture f(c.role);
        f.window().options.ServerTCPOptions = c.option;
        f.window().options.ClientOptions = c.option;
        f.activate();
        f.settings.PingEnabled = 1;
        for (int tick = 0; tick < 5; ++tick)
            f.tcp().countQuietTick();
        if (c.role == Role::Server) {
            f.connectClient();
            f.connectClient();
            f.socket(1).arrive("one");
            f.socket(2).arrive("two");
        } else {
            f.connectToServer();
            f.socket(0).arrive("one");
        }
        EXPECT_EQ(f.serial->written, c.expected) << c.option;
        // Dropped data is read all the same, and still shows the link alive.
        for (int i = 0; i < f.sockets.created.size(); ++i)
            EXPECT_TRUE(f.socket(i).incoming.isEmpty());
        EXPECT_EQ(f.tcp().watchdog().tickCount(), 0);
        EXPECT_EQ(f.window().lamp(kNetworkLine).value(), pvx::session::kLampActive);
    }
}

TEST(NetworkInput, ASocketIsReadOnlyAsFarAsThereIsRoom)
{
    BridgeFixture f(Role::Server);
    f.bufferSize(0);
    f.activate();
    const int one = f.connectClient();
    const int two = f.connectClient();
    f.serial->queuesOutput = true;
    f.serial->pendingOutput = 8192;  // the driver is full
    const QByteArray letters = QByteArray("abcdefghijklmnopqrstuvwxyz").repeated(120);
    const QByteArray digits = QByteArray("0123456789").repeated(300);
    f.socket(one).arrive(letters);
    f.socket(two).arrive(digits);
    EXPECT_EQ(f.session->toSerialBuffer().count(), 1024);
    EXPECT_EQ(f.socket(one).incoming.size() + f.socket(two).incoming.size(),
              letters.size() + digits.size() - 1024);

    // Room in the driver pulls the rest, each client in its turn.
    qint64 highWater = 0;
    while (f.serial->pendingOutput > 0) {
        f.serial->drainOutput(std::min<qint64>(f.serial->pendingOutput, 700));
        highWater = std::max(highWater, f.serial->pendingOutput);
    }
    QByteArray fromOne;
    QByteArray fromTwo;
    for (const char byte : f.serial->written)
        (std::isdigit(static_cast<unsigned char>(byte)) ? fromTwo : fromOne) += byte;
    EXPECT_EQ(fromOne, letters);
    EXPECT_EQ(fromTwo, digits);
    EXPECT_EQ(highWater, 8192);
}

TEST(NetworkInput, WhatAClosedPeerSentStillReachesTheSerialSide)
{
    BridgeFixture f(Role::Server, Side::VirtualPort);
    f.bufferSize(0);
    f.activate();
    f.vport->setOpenedByApplication(true);
    f.vport->room = 0;
    const int client = f.connectClient();
    f.socket(client).arrive(pattern(3000));
    f.socket(client).peerCloses();
    // Gone from the count at once; its bytes still follow.
    EXPECT_EQ(f.session->clients().clientCount(), 0);
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: Listening..."));
    EXPECT_NE(f.socket(client).state(), pvx::platform::kSocketClosed);

    for (int tick = 0; tick < 3; ++tick) {
        f.vport->room = 1000;
        f.tick(1);
    }
    EXPECT_EQ(f.session->clients().clientCount(), 0);
    EXPECT_EQ(f.socket(client).state(), pvx::platform::kSocketClosed);
    EXPECT_EQ(f.vport->written, pattern(3000));
}

TEST(NetworkInput, AClosedPeerWhoseDataFindsNoRoomIsClosedAfterTenSeconds)
{
    BridgeFixture f(Role::Client, Side::VirtualPort);
    f.bufferSize(0);
    f.window().bufferWhileClosed.setValue(1);  // held while nobody has the port open
    f.activate();
    f.connectToServer();
    f.socket(0).arrive(pattern(3000));
    f.socket(0).peerCloses();
    f.tick(199);
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: Connected"));
    f.tick(1);
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: Closed"));
    EXPECT_TRUE(f.logText().contains(s("bytes it sent found no room for 10 seconds")));
    EXPECT_EQ(f.session->toSerialBuffer().count(), 1024);
}
