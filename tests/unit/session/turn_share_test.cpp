#include "session/turn_share.h"

#include "bridge_fixture.h"
#include "fakes/fake_timer.h"
#include "session/flow_limits.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using pvx::session::kBusyHandling;
using pvx::session::kTurnWork;
using pvx::session::TurnShare;
using pvx::testing::BridgeFixture;
using pvx::testing::pattern;

namespace {

/// Sessions reduced to their place in the share: each turn moves `perTurn`
/// bytes and notes who moved, in order.
struct Line {
    pvx::fakes::FakeTimerFactory timers;
    TurnShare share{timers};
    std::vector<std::unique_ptr<TurnShare::Member>> members;
    std::string served;
    /// Members whose turn holds something again (an arrival during the turn).
    std::deque<bool> heldAgain;

    explicit Line(int count, qint64 perTurn = kTurnWork / 2) : heldAgain(static_cast<std::size_t>(count), false)
    {
        for (int i = 0; i < count; ++i) {
            const auto at = static_cast<std::size_t>(i);
            members.push_back(std::make_unique<TurnShare::Member>(
                share,
                [this, i, at, perTurn] {
                    served += static_cast<char>('a' + i);
                    members[at]->moved(perTurn);
                },
                [this, at] { return std::exchange(heldAgain[at], false); }));
        }
    }
    TurnShare::Member &operator[](int i) { return *members[static_cast<std::size_t>(i)]; }
    pvx::fakes::FakeTimer &timer() { return *timers.created.at(0); }
    /// Which members go on at once, in order ('.' for one held).
    std::string admitted()
    {
        std::string result;
        for (int i = 0; i < static_cast<int>(members.size()); ++i)
            result += (*this)[i].admit() ? static_cast<char>('a' + i) : '.';
        return result;
    }
};

} // namespace

TEST(TurnShare, BusySessionsWaitInLineOnceATurnIsUsedUpAndAreServedInOrder)
{
    Line line(4);
    line[3].moved(1);  // a quiet one
    for (int i = 0; i < 3; ++i)
        line[i].moved(kTurnWork / 2);
    EXPECT_EQ(line.admitted(), "...d") << "the turn is used up; the quiet one still goes on";
    EXPECT_EQ(line.share.waitingCount(), 3U);
    EXPECT_EQ(line.admitted(), "...d") << "waiting once is enough";
    EXPECT_EQ(line.share.waitingCount(), 3U);

    // Each pass serves one turn's work: who is not reached comes first next time.
    line.heldAgain[0] = true;  // something arrived during its turn and was held
    line.timer().fire();
    EXPECT_EQ(line.served, "ab");
    line.timer().fire();
    EXPECT_EQ(line.served, "abac") << "held during its turn, it stays in line";
    EXPECT_EQ(line.share.waitingCount(), 0U);
    line.timer().fire();
    EXPECT_FALSE(line.timer().isActive()) << "nobody waits: no more passes";
}

TEST(TurnShare, ASessionAloneOrMovingLittleIsNeverHeld)
{
    struct Case {
        const char *name;
        qint64 eachMove;
    };
    for (const Case c : {Case{"alone and busy", kTurnWork}, Case{"alone and quiet", kBusyHandling - 1}}) {
        Line line(1);
        for (int i = 0; i < 20; ++i) {
            ASSERT_TRUE(line[0].admit()) << c.name;
            line[0].moved(c.eachMove);
        }
        EXPECT_EQ(line.share.waitingCount(), 0U) << c.name;
    }
    Line many(3, kBusyHandling - 1);
    for (int round = 0; round < 100; ++round) {
        ASSERT_EQ(many.admitted(), "abc");
        for (int i = 0; i < 3; ++i)
            many[i].moved(kBusyHandling - 1);
    }
}

TEST(TurnShare, ASessionThatGoesWhileWaitingLeavesTheLine)
{
    Line line(3);
    for (int i = 0; i < 3; ++i)
        line[i].moved(kTurnWork);
    EXPECT_EQ(line.admitted(), "...");
    line.members[1].reset();
    EXPECT_EQ(line.share.waitingCount(), 2U);
    line.timer().fire();
    line.timer().fire();
    EXPECT_EQ(line.served, "ac");
}

// What arrives while a session waits for its turn is moved at its turn,
// whole and in order, both ways.
TEST(TurnShare, AHeldSessionLosesNothing)
{
    BridgeFixture f(BridgeFixture::Role::Client, BridgeFixture::Side::VirtualPort);
    f.activate();
    f.vport->setOpenedByApplication(true);
    f.connectToServer();
    const QByteArray first = pattern(8192), held = pattern(4096, 1), fromNetwork = pattern(3000, 2);
    f.vport->receive(first);
    ASSERT_EQ(f.socket(0).sentBytes(), first);

    // Another busy session used up the turn.
    TurnShare::Member other(f.turns, [] {}, [] { return false; });
    other.moved(kTurnWork);
    f.vport->receive(held);
    f.socket(0).arrive(fromNetwork);
    EXPECT_EQ(f.socket(0).sentBytes(), first) << "held";
    EXPECT_TRUE(f.vport->written.isEmpty()) << "held";
    EXPECT_EQ(f.turns.waitingCount(), 1U);

    f.turnTimer().fire();
    EXPECT_EQ(f.socket(0).sentBytes(), first + held);
    EXPECT_EQ(f.vport->written, fromNetwork);
    EXPECT_EQ(f.turns.waitingCount(), 0U);
}
