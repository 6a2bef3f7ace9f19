#include "session/session.h"

#include "bridge_fixture.h"

#include <gtest/gtest.h>

using pvx::testing::BridgeFixture;
using pvx::testing::pattern;
using pvx::testing::s;
using Role = BridgeFixture::Role;
using Side = BridgeFixture::Side;

TEST(Pump, RunsEveryFiftyMillisecondsFromTheStart)
{
    BridgeFixture f(Role::Client);
    ASSERT_EQ(f.timers.created.size(), 2);
    EXPECT_EQ(f.timers.created[1]->interval(), 50);
    EXPECT_TRUE(f.timers.created[1]->isActive());
}

TEST(Pump, RealPortGetsWhatItsDriverHasRoomFor)
{
    BridgeFixture f(Role::Client);
    f.bufferSize(3);  // 16384 bytes
    f.activate();
    f.connectToServer();
    f.serial->queuesOutput = true;
    const QByteArray data = pattern(10000);
    f.socket(0).arrive(data);
    EXPECT_EQ(f.serial->written, data.left(8192));
    f.tick(1);
    EXPECT_EQ(f.serial->written.size(), 8192);
    f.serial->drainOutput(1000);
    EXPECT_EQ(f.serial->written, data.left(9192));
    f.serial->pendingOutput = 0;
    f.tick(1);
    EXPECT_EQ(f.serial->written, data);
}

TEST(Pump, WritesThatTakePartKeepTheRestInOrder)
{
    for (const Side side : {Side::RealPort, Side::VirtualPort}) {
        BridgeFixture f(Role::Client, side);
        f.activate();
        f.vport->setOpenedByApplication(true);
        f.connectToServer();
        const auto roomFor = [&](qint64 bytes) {
            f.serial->room = bytes;
            f.vport->room = bytes;
        };
        roomFor(100);
        f.socket(0).arrive(pattern(250));
        EXPECT_EQ(f.serialGot(), pattern(100));
        f.tick(1);
        EXPECT_EQ(f.serialGot(), pattern(100));
        roomFor(100);
        f.tick(1);
        EXPECT_EQ(f.serialGot(), pattern(200));
        roomFor(100);
        f.tick(1);
        EXPECT_EQ(f.serialGot(), pattern(250));
    }
}

TEST(Pump, ClosedSerialSidesKeepOrDiscardNetworkData)
{
    const struct {
        Side side;
        int bufferSerData;
        bool kept;
    } cases[] = {
        {Side::VirtualPort, 0, false},
        {Side::VirtualPort, 1, true},
        {Side::RealPort, 0, true},
    };
    for (const auto &c : cases) {
        BridgeFixture f(Role::Client, c.side);
        f.window().BufferSerData.setValue(c.bufferSerData);
        f.activate();
        f.connectToServer();
        f.serial->close();
        f.socket(0).arrive("data");
        f.tick(1);
        EXPECT_EQ(f.session->SerialOutBuffer.count(), c.kept ? 4 : 0);
        if (c.side == Side::VirtualPort) {
            f.vport->setOpenedByApplication(true);
            EXPECT_EQ(f.vport->written, c.kept ? QByteArray("data") : QByteArray());
        }
    }
}

TEST(Pump, IdleFlushGoesToTheConnectedClientsAsTheOptionsSay)
{
    for (const qint16 option : {qint16{0}, qint16{2}}) {
        BridgeFixture f(Role::Server, Side::VirtualPort);
        f.window().options.ServerSerialOptions = option;
        f.window().WaitForCr.setValue(1);
        f.window().txtTimeoutValue.setText(s("0"));
        f.activate();
        f.connectClient();
        f.connectClient();
        f.connectClient();
        f.socket(2).peerCloses();
        f.serialSends("tail");
        f.tick(1);
        EXPECT_EQ(f.socket(1).sentBytes(), QByteArray("tail"));
        EXPECT_EQ(f.socket(3).sentBytes(), option == 0 ? QByteArray("tail") : QByteArray());
    }
}

TEST(Pump, AVirtualPortThatMakesRoomIsWrittenWithoutWaitingForATick)
{
    BridgeFixture f(Role::Client, Side::VirtualPort);
    f.activate();
    f.connectToServer();
    f.vport->setOpenedByApplication(true);
    f.vport->room = 0;
    f.socket(0).arrive(pattern(300));
    EXPECT_TRUE(f.vport->written.isEmpty());
    f.vport->makeRoom(120);
    EXPECT_EQ(f.vport->written, pattern(120));
    f.vport->makeRoom(1000);
    EXPECT_EQ(f.vport->written, pattern(300));
}
