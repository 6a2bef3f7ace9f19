#include "session/session.h"

#include "bridge_fixture.h"
#include "session/session_lists.h"

#include <gtest/gtest.h>

using pvx::testing::kNetworkLine;
using pvx::testing::BridgeFixture;
using pvx::testing::kSerialLine;
using pvx::testing::pattern;
using pvx::testing::s;
using Role = BridgeFixture::Role;
using Side = BridgeFixture::Side;

namespace {

/// A server with clients on sockets 1 and 3 (socket 2's client has left).
void connectClientsOneAndThree(BridgeFixture &f)
{
    f.connectClient();
    f.connectClient();
    f.connectClient();
    f.socket(2).peerCloses();
}

} // namespace

TEST(SerialInput, RoutingOptionsChooseTheDestinations)
{
    const struct {
        Role role;
        qint16 option;
        QList<int> receivers;
    } cases[] = {
        {Role::Server, 0, {1, 3}}, {Role::Server, 1, {}}, {Role::Server, 2, {1}},
        {Role::Client, 0, {0}},    {Role::Client, 1, {0}}, {Role::Client, 2, {}},
    };
    for (const Side side : {Side::RealPort, Side::VirtualPort}) {
        for (const auto &c : cases) {
            BridgeFixture f(c.role, side);
            f.window().options.ServerSerialOptions = c.option;
            f.window().options.ClientOptions = c.option;
            f.activate();
            if (c.role == Role::Server)
                connectClientsOneAndThree(f);
            else
                f.connectToServer();
            f.serialSends("ATZ\r");
            for (int i = 0; i < f.sockets.created.size(); ++i) {
                EXPECT_EQ(f.socket(i).sentBytes(), c.receivers.contains(i) ? QByteArray("ATZ\r") : QByteArray())
                    << "socket " << i << " option " << c.option;
            }
            // Refused input is thrown away, never queued.
            EXPECT_EQ(f.session->packetizer().queue().count(), 0);
            EXPECT_TRUE(f.serial->received.isEmpty() && f.vport->received.isEmpty());
            EXPECT_EQ(f.window().lamp(kSerialLine).value(), pvx::session::kLampActive);
        }
    }
}

TEST(SerialInput, PacketModeSendsWholePacketsAndTheTailAfterTheTimeout)
{
    for (const Side side : {Side::RealPort, Side::VirtualPort}) {
        BridgeFixture f(Role::Client, side);
        f.settings.PacketSize = 512;
        f.window().waitForTimeout.setValue(1);
        f.activate();
        f.connectToServer();
        const QByteArray data = pattern(1300);
        f.serialSends(data);
        ASSERT_EQ(f.socket(0).sent.size(), 2);
        EXPECT_EQ(f.socket(0).sent[0], data.left(512));
        EXPECT_EQ(f.socket(0).sent[1], data.mid(512, 512));
        EXPECT_EQ(f.session->packetizer().queue().count(), 276);

        // "150" ms: the tail leaves on the fourth tick; new data restarts the wait.
        f.tick(2);
        f.serialSends("x");
        f.tick(3);
        EXPECT_EQ(f.socket(0).sent.size(), 2);
        f.tick(1);
        ASSERT_EQ(f.socket(0).sent.size(), 3);
        EXPECT_EQ(f.socket(0).sent[2], data.right(276) + "x");
        EXPECT_EQ(f.session->packetizer().idleTickCount(), 0);
    }
}

TEST(SerialInput, ImmediateModeSendsEverythingInTheSameEvent)
{
    BridgeFixture f(Role::Server);
    f.settings.PacketSize = 512;
    f.activate();
    f.connectClient();
    f.serialSends(pattern(1300));
    ASSERT_EQ(f.socket(1).sent.size(), 1);
    EXPECT_EQ(f.socket(1).sent[0], pattern(1300));
}

TEST(SerialInput, WithoutBufferingNobodyConnectedMeansDiscarded)
{
    for (const Side side : {Side::RealPort, Side::VirtualPort}) {
        for (const int waitForCr : {0, 1}) {
            BridgeFixture f(Role::Server, side);
            f.window().waitForTimeout.setValue(waitForCr);
            f.activate();
            f.serialSends(pattern(100));
            // The real port throws the bytes away unread; the virtual port
            // reads them and they are lost when sent to nobody, or at the
            // time-out.
            EXPECT_TRUE(f.serial->received.isEmpty() && f.vport->received.isEmpty());
            f.tick(4);
            EXPECT_EQ(f.session->packetizer().queue().count(), 0);
            f.connectClient();
            f.tick(4);
            EXPECT_TRUE(f.socket(1).sent.isEmpty());
        }
    }
}

TEST(SerialInput, BufferingHoldsTheDeviceBackUntilAClientConnects)
{
    for (const Side side : {Side::RealPort, Side::VirtualPort}) {
        BridgeFixture f(Role::Server, side);
        f.window().bufferWhileClosed.setValue(1);
        f.bufferSize(0);  // 1024 bytes
        f.activate();
        const QByteArray data = pattern(1500);
        f.serialSends(data);
        EXPECT_EQ(f.session->packetizer().queue().count(), 1024);
        // Nothing is lost: what does not fit waits in the device.
        EXPECT_EQ(f.serial->received.size() + f.vport->received.size(), 476);
        f.tick(10);
        EXPECT_EQ(f.session->packetizer().queue().count(), 1024);

        f.connectClient();
        f.tick(4);
        EXPECT_EQ(f.socket(1).sentBytes(), data);
        EXPECT_EQ(f.session->packetizer().queue().count(), 0);
    }
}

TEST(SerialInput, ASlowClientHoldsTheSerialSideBackWithinItsBound)
{
    // A client's unsent bytes stay within the buffer size, and a large
    // buffer holds what waits beyond a bound of their own once, in MyBuffer.
    const struct {
        int sizePosition;
        qint32 capacity;
        qint64 bound;
        qint64 leftInDevice;
    } cases[] = {
        {0, 1024, 1024, 2952},
        {11, 4 << 20, pvx::session::kClientQueueBound, 1000},
    };
    for (const auto &c : cases) {
        BridgeFixture f(Role::Server);
        f.bufferSize(c.sizePosition);
        f.activate();
        f.connectClient();
        f.socket(1).queuesOutput = true;
        const QByteArray data = pattern(c.capacity + c.bound + c.leftInDevice);
        f.serialSends(data);
        // A large buffer fills over several turns.
        for (int tick = 0; tick < 100 && f.serial->received.size() > c.leftInDevice; ++tick)
            f.tick();
        EXPECT_EQ(f.socket(1).pendingOutput, c.bound);
        EXPECT_EQ(f.session->packetizer().queue().count(), c.capacity);
        EXPECT_EQ(f.serial->received.size(), c.leftInDevice);

        qint64 highWater = 0;
        for (int round = 0; round < 1000 && f.socket(1).pendingOutput > 0; ++round) {
            highWater = std::max(highWater, f.socket(1).pendingOutput);
            f.socket(1).drainOutput(f.socket(1).pendingOutput);
        }
        EXPECT_TRUE(f.socket(1).sentBytes() == data) << "buffer " << c.capacity;
        EXPECT_LE(highWater, c.bound);
    }
}

TEST(SerialInput, APieceForManyClientsGoesOutOverTurnsAndNothingOvertakesIt)
{
    BridgeFixture f(Role::Server);
    f.activate();
    const int clients = 306;
    const int perTurn = pvx::session::sendsPerTurn(clients);
    ASSERT_GT(clients, 2 * perTurn);
    for (int i = 0; i < clients; ++i)
        f.connectClient();
    const auto holding = [&](const QByteArray &bytes) {
        int count = 0;
        for (int i = 1; i <= clients; ++i)
            count += f.socket(i).sentBytes() == bytes ? 1 : 0;
        return count;
    };
    const QByteArray first = pattern(300, 1);
    const QByteArray second = pattern(200, 2);

    f.serialSends(first);
    EXPECT_EQ(holding(first), perTurn);
    EXPECT_TRUE(f.nextTurnTimer().isActive());
    // A client that leaves meanwhile gets no more; one that takes its socket
    // gets nothing of a piece taken before it came.
    const int replaced = clients;
    f.socket(replaced).peerCloses();
    ASSERT_EQ(f.connectClient(), replaced);
    // New data while the piece is still on its way waits behind it.
    f.serialSends(second);
    EXPECT_EQ(holding(first), 2 * perTurn);
    EXPECT_EQ(f.session->packetizer().queue().count(), second.size());

    for (int turn = 0; turn < 10 && f.nextTurnTimer().isActive(); ++turn)
        f.nextTurnTimer().fire();
    EXPECT_FALSE(f.nextTurnTimer().isActive());
    EXPECT_EQ(holding(first + second), clients - 1);
    EXPECT_EQ(f.socket(replaced).sentBytes(), second);
}

TEST(SerialInput, AClientThatTakesNothingForTenSecondsIsClosed)
{
    BridgeFixture f(Role::Server);
    f.bufferSize(0);
    f.activate();
    const int stuck = f.connectClient("198.51.100.1");
    const int healthy = f.connectClient("198.51.100.2");
    f.socket(stuck).queuesOutput = true;
    const QByteArray data = pattern(3000);
    f.serialSends(data);
    EXPECT_EQ(f.socket(healthy).sentBytes(), data.left(1024));

    f.tick(150);
    f.socket(stuck).drainOutput(10);  // progress restarts the count
    f.tick(199);
    EXPECT_EQ(f.socket(stuck).state(), pvx::platform::kSocketConnected);
    f.tick(1);
    EXPECT_EQ(f.socket(stuck).state(), pvx::platform::kSocketClosed);
    EXPECT_TRUE(f.logText().contains(s("Connection to 198.51.100.1 closed: it took no data for 10 seconds")));
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: (1)Connected"));
    EXPECT_EQ(f.socket(healthy).sentBytes(), data);
}

TEST(SerialInput, LampsLightOnActivityAndResetEveryThirdTick)
{
    BridgeFixture f(Role::Client);
    f.activate();
    f.connectToServer();
    f.tick(1);
    f.serialSends("a");
    f.socket(0).arrive("b");
    EXPECT_EQ(f.window().lamp(kSerialLine).value(), pvx::session::kLampActive);
    EXPECT_EQ(f.window().lamp(kNetworkLine).value(), pvx::session::kLampActive);
    f.tick(1);
    EXPECT_EQ(f.window().lamp(kSerialLine).value(), pvx::session::kLampActive);
    f.tick(1);
    EXPECT_EQ(f.window().lamp(kSerialLine).value(), pvx::session::kLampIdle);
    EXPECT_EQ(f.window().lamp(kNetworkLine).value(), pvx::session::kLampIdle);
}

TEST(SerialInput, UdpSendsOnSocketZeroWhateverTheBuffering)
{
    BridgeFixture f(Role::Client, Side::VirtualPort, true);
    f.settings.PacketSize = 100;
    f.window().waitForTimeout.setValue(1);
    f.window().bufferWhileClosed.setValue(1);
    f.activate();
    f.serialSends(pattern(250));
    ASSERT_EQ(f.socket(0).sent.size(), 2);
    EXPECT_EQ(f.socket(0).sentTo[0], s("192.0.2.1:5000"));
    f.tick(4);
    EXPECT_EQ(f.socket(0).sentBytes(), pattern(250));
}

TEST(SerialInput, ADeviceThatFailsIsReportedAndTheSessionGoesOn)
{
    BridgeFixture f(Role::Client);
    f.activate();
    f.connectToServer();
    f.serial->fail(pvx::platform::makeError(pvx::platform::ErrorCode::IoError, s("/dev/fake4: device removed")));
    EXPECT_EQ(f.status(kSerialLine), s("COM Status: Error - /dev/fake4: device removed"));
    EXPECT_TRUE(f.session->isActive());
    // Network data waits for the port, as for any closed port.
    f.socket(0).arrive("hello");
    f.tick(3);
    EXPECT_EQ(f.session->toSerialBuffer().count(), 5);
}
