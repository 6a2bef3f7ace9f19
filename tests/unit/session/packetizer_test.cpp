#include "session/packetizer.h"

#include <gtest/gtest.h>

#include <vector>

using pvx::session::Packetizer;

namespace {

constexpr int kTick = 50;

/// Takes the pieces due as data arrives, the way a session sends them:
/// packets one after another, anything else once.
std::vector<qint32> takeArrivalPieces(Packetizer &packetizer, const Packetizer::Rules &rules)
{
    std::vector<qint32> pieces;
    for (auto piece = packetizer.dueOnArrival(rules); piece.length > 0; piece = packetizer.dueOnArrival(rules)) {
        qint32 requested = piece.length;
        (void)packetizer.queue().take(requested);
        pieces.push_back(requested);
        if (!piece.whole)
            break;
    }
    return pieces;
}

/// The tick (counted from 1) at which the queued data falls due, 0 when not
/// within `limit` ticks; data arrives again after the ticks in `arrivals`.
int tickWhenDue(Packetizer &packetizer, const Packetizer::Rules &rules, double timeoutMs,
                const std::vector<int> &arrivals = {}, int limit = 20)
{
    for (int tick = 1; tick <= limit; ++tick) {
        if (packetizer.dueOnTick(timeoutMs).length > 0)
            return tick;
        for (const int after : arrivals) {
            if (after == tick) {
                (void)packetizer.queue().append("more");
                packetizer.inputArrived(rules);
            }
        }
    }
    return 0;
}

Packetizer holding(qint32 bytes)
{
    Packetizer packetizer(kTick);
    packetizer.queue().allocate(8192);
    EXPECT_EQ(packetizer.queue().append(QByteArray(bytes, 'x')), bytes);
    return packetizer;
}

} // namespace

TEST(Packetizer, CutsWholePacketsAsDataArrivesAndKeepsTheTail)
{
    const struct {
        const char *name;
        Packetizer::Rules rules;
        qint32 queued;
        std::vector<qint32> pieces;
        qint32 left;
    } cases[] = {
        {"packets", {true, 512}, 1300, {512, 512}, 276},
        {"exactly one packet", {true, 512}, 512, {512}, 0},
        {"less than a packet", {true, 512}, 511, {}, 511},
        {"one-byte packets", {true, 1}, 3, {1, 1, 1}, 0},
        {"immediate", {false, 512}, 1300, {1300}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Packetizer packetizer = holding(c.queued);
        EXPECT_EQ(takeArrivalPieces(packetizer, c.rules), c.pieces);
        EXPECT_EQ(packetizer.queue().count(), c.left);
    }
}

TEST(Packetizer, TheTailFallsDueAfterTheQuietTime)
{
    const struct {
        const char *name;
        bool packetMode;
        double timeoutMs;
        std::vector<int> arrivals;
        int dueTick;
    } cases[] = {
        {"150 ms: the fourth tick", true, 150, {}, 4},
        {"0 ms: the first tick", true, 0, {}, 1},
        {"just under a tick count", true, 149.9, {}, 3},
        {"new data restarts the wait", true, 150, {2}, 6},
        {"without packets arrivals do not restart it", false, 150, {2}, 4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Packetizer packetizer = holding(100);
        EXPECT_EQ(tickWhenDue(packetizer, {c.packetMode, 512}, c.timeoutMs, c.arrivals), c.dueTick);
    }
}

TEST(Packetizer, WhatFindsNoRoomIsDueAgainAfterAnotherQuietTime)
{
    Packetizer packetizer = holding(100);
    const Packetizer::Rules rules{true, 512};
    ASSERT_EQ(tickWhenDue(packetizer, rules, 150), 4);
    EXPECT_EQ(packetizer.idleTickCount(), 0);
    // Nothing was taken: the whole queue falls due again, not earlier.
    EXPECT_EQ(tickWhenDue(packetizer, rules, 150), 4);
    const Packetizer::Piece piece = packetizer.dueOnArrival({false, 512});
    EXPECT_EQ(piece.length, 100);
    EXPECT_FALSE(piece.whole);
}

TEST(Packetizer, AnEmptyQueueCountsNoTicks)
{
    Packetizer packetizer = holding(0);
    for (int tick = 0; tick < 10; ++tick)
        EXPECT_EQ(packetizer.dueOnTick(0).length, 0);
    EXPECT_EQ(packetizer.idleTickCount(), 0);
    (void)packetizer.queue().append("x");
    EXPECT_EQ(tickWhenDue(packetizer, {true, 512}, 150), 4);
}
