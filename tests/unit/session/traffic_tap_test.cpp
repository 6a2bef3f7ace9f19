#include "session/traffic_tap.h"

#include <gtest/gtest.h>

#include <functional>

using pvx::session::TrafficTap;

TEST(TrafficTap, CountsOnlyWhatReachedSomebody)
{
    const struct {
        const char *name;
        std::function<void(TrafficTap &)> pass;
        qint64 toSerial;
        qint64 toNetwork;
    } cases[] = {
        {"written to the serial side", [](TrafficTap &tap) { tap.serialOut("abc"); }, 3, 0},
        {"read from the serial side", [](TrafficTap &tap) { tap.serialIn("abc"); }, 0, 0},
        {"received from the network", [](TrafficTap &tap) { tap.networkIn("abc", 1); }, 0, 0},
        {"sent to two clients", [](TrafficTap &tap) { tap.networkOut("abc", {1, 2}); }, 0, 3},
        {"sent to nobody", [](TrafficTap &tap) { tap.networkOut("abc", {}); }, 0, 0},
    };
    for (const auto &c : cases) {
        TrafficTap tap;
        c.pass(tap);
        c.pass(tap);
        EXPECT_EQ(tap.moved().toSerial, 2 * c.toSerial) << c.name;
        EXPECT_EQ(tap.moved().toNetwork, 2 * c.toNetwork) << c.name;
        tap.restartCounts();
        EXPECT_EQ(tap.moved().toSerial + tap.moved().toNetwork, 0) << c.name;
    }
}
