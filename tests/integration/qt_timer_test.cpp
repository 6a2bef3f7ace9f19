#include "platform/linux/qt_timer.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

using namespace pvx::platform;

TEST(QtTimer, RepeatsUntilStopped)
{
    QtTimerFactory factory;
    auto timer = factory.create();
    int ticks = 0;
    timer->setTimeout([&] { ++ticks; });
    timer->setInterval(10);
    EXPECT_EQ(timer->interval(), 10);
    EXPECT_FALSE(timer->isActive());
    timer->start();
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(ticks, 0);
    ASSERT_TRUE(waitUntil([&] { return ticks >= 3; }, 5000));
    timer->stop();
    EXPECT_FALSE(timer->isActive());
    const int stoppedAt = ticks;
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(ticks, stoppedAt);
}

TEST(QtTimer, MayBeDestroyedInsideItsTimeout)
{
    QtTimerFactory factory;
    auto timer = factory.create();
    timer->setInterval(1);
    timer->setTimeout([&] { timer.reset(); });
    timer->start();
    EXPECT_TRUE(waitUntil([&] { return !timer; }, 5000));
}
