#include "session/session.h"

#include "bridge_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using pvx::testing::BridgeFixture;
using pvx::testing::kNetworkLine;
using pvx::testing::pattern;
using pvx::testing::s;
using Role = BridgeFixture::Role;
using Side = BridgeFixture::Side;

namespace {

/// Fires the program's tick until it stops, at most `limit` times; returns
/// how often it fired.
int tickUntilIdle(BridgeFixture &f, int limit)
{
    int fired = 0;
    while (f.tickTimer().isActive() && fired < limit) {
        f.tickTimer().fire();
        ++fired;
    }
    return fired;
}

} // namespace

TEST(Pump, TheProgramTickSleepsUntilSomethingIsPending)
{
    BridgeFixture f(Role::Client);
    EXPECT_FALSE(f.tickTimer().isActive());
    EXPECT_EQ(f.tickTimer().interval(), 50);
    f.activate();
    f.connectToServer();
    EXPECT_LE(tickUntilIdle(f, 10), 1);
    EXPECT_FALSE(f.tickTimer().isActive());

    f.socket(0).arrive("b");
    EXPECT_TRUE(f.tickTimer().isActive());
    EXPECT_EQ(f.serialGot(), QByteArray("b"));
    // Served until the lamp goes back, within three ticks.
    const int fired = tickUntilIdle(f, 10);
    EXPECT_GE(fired, 1);
    EXPECT_LE(fired, 3);
    EXPECT_EQ(f.window().lamp(kNetworkLine).value(), pvx::session::kLampIdle);
}

TEST(Pump, PendingWorkKeepsTheSessionServedUntilItIsDone)
{
    const struct {
        const char *name;
        Role role;
        std::function<void(BridgeFixture &)> setUp;
        std::function<void(BridgeFixture &)> stimulus;
        /// Holds after 60 ticks, while the work is still pending.
        std::function<bool(BridgeFixture &)> whileServed;
        /// Ends what kept the session pending.
        std::function<void(BridgeFixture &)> finish;
        std::function<bool(BridgeFixture &)> done;
    } cases[] = {
        {"ping period", Role::Client, [](BridgeFixture &f) { f.settings.PingEnabled = 1; }, [](BridgeFixture &) {},
         // Every tick since the activation counts towards the first ping.
         [](BridgeFixture &f) { return f.tcp().watchdog().tickCount() == 60; },
         [](BridgeFixture &f) { f.session->deactivate(); },
         [](BridgeFixture &f) { return f.tcp().watchdog().tickCount() == 0; }},
        {"idle flush", Role::Client,
         [](BridgeFixture &f) {
             f.settings.PacketSize = 512;
             f.window().waitForTimeout.setValue(1);
             f.window().timeoutValue.setText(s("4000"));
         },
         [](BridgeFixture &f) { f.serialSends("tail"); },
         [](BridgeFixture &f) { return f.socket(0).sentBytes().isEmpty(); }, [](BridgeFixture &) {},
         [](BridgeFixture &f) { return f.socket(0).sentBytes() == "tail"; }},
        {"serial data held for a client", Role::Server, [](BridgeFixture &f) { f.window().bufferWhileClosed.setValue(1); },
         [](BridgeFixture &f) { f.serialSends("held"); },
         [](BridgeFixture &f) { return f.session->packetizer().queue().count() == 4; },
         [](BridgeFixture &f) { f.connectClient(); },
         [](BridgeFixture &f) { return f.socket(1).sentBytes() == "held"; }},
        {"network data waiting for room", Role::Client, [](BridgeFixture &f) { f.serial->room = 0; },
         [](BridgeFixture &f) { f.socket(0).arrive("wait"); },
         [](BridgeFixture &f) { return f.serial->written.isEmpty(); }, [](BridgeFixture &f) { f.serial->room.reset(); },
         [](BridgeFixture &f) { return f.serial->written == "wait"; }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        BridgeFixture f(c.role);
        c.setUp(f);
        f.activate();
        if (c.role == Role::Client)
            f.connectToServer();
        c.stimulus(f);
        for (int i = 0; i < 60; ++i)
            f.tickTimer().fire();
        EXPECT_TRUE(f.tickTimer().isActive());
        EXPECT_TRUE(c.whileServed(f));
        c.finish(f);
        EXPECT_LE(tickUntilIdle(f, 100), 90);
        EXPECT_FALSE(f.tickTimer().isActive());
        EXPECT_TRUE(c.done(f));
    }
}

TEST(Pump, PingsKeepTheSessionServedOnlyWhileItHasAConnectionToPing)
{
    for (const Role role : {Role::Server, Role::Client}) {
        SCOPED_TRACE(role == Role::Server ? "server" : "client");
        BridgeFixture f(role);
        f.settings.PingEnabled = 1;
        f.settings.PingFrequency = 0;
        f.activate();
        EXPECT_LE(tickUntilIdle(f, 100), 3);
        EXPECT_FALSE(f.tickTimer().isActive());

        const int index = role == Role::Server ? f.connectClient() : 0;
        if (role == Role::Client) {
            f.socket(0).peerAddress = s("192.0.2.1");
            f.connectToServer();
        }
        EXPECT_EQ(tickUntilIdle(f, 9), 9);
        ASSERT_EQ(f.echo.pending.size(), 1);

        f.socket(index).peerCloses();
        f.echo.answer(f.echo.pending.firstKey(), {});
        EXPECT_LE(tickUntilIdle(f, 100), 3);
        EXPECT_FALSE(f.tickTimer().isActive());
    }
}

TEST(Pump, ASessionDestroyedDuringATickLeavesIt)
{
    pvx::fakes::FakeTimerFactory timers;
    pvx::session::PumpTick tick(timers, 50);
    using Member = pvx::session::PumpTick::Member;
    std::unique_ptr<Member> self, other, victim;
    int victimPumps = 0;
    self = std::make_unique<Member>(tick, [&] { self.reset(); }, [] { return true; });
    other = std::make_unique<Member>(tick, [&] { victim.reset(); }, [] { return true; });
    victim = std::make_unique<Member>(tick, [&] { ++victimPumps; }, [] { return true; });
    self->wake();
    other->wake();
    victim->wake();
    timers.created[0]->fire();
    EXPECT_EQ(victimPumps, 0);
    EXPECT_EQ(tick.servedCount(), 1U);
    other.reset();
    EXPECT_EQ(tick.servedCount(), 0U);
    timers.created[0]->fire();
    EXPECT_FALSE(timers.created[0]->isActive());
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
        f.window().bufferWhileClosed.setValue(c.bufferSerData);
        f.activate();
        f.connectToServer();
        f.serial->close();
        f.socket(0).arrive("data");
        f.tick(1);
        EXPECT_EQ(f.session->toSerialBuffer().count(), c.kept ? 4 : 0);
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
        f.window().waitForTimeout.setValue(1);
        f.window().timeoutValue.setText(s("0"));
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
