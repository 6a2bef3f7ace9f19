#include "platform/linux/termination_signals.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <csignal>

using pvx::platform::TerminationSignals;

namespace {

void (*actionOf(int number))(int)
{
    struct sigaction current {};
    ::sigaction(number, nullptr, &current);
    return current.sa_handler;
}

} // namespace

TEST(TerminationSignals, SignalsArriveFromTheEventLoopOnly)
{
    ::signal(SIGHUP, SIG_DFL);
    std::vector<int> received;
    auto installed = TerminationSignals::install([&received](int number) { received.push_back(number); });
    ASSERT_TRUE(installed);
    EXPECT_FALSE(TerminationSignals::install({})) << "one instance per process";

    ::raise(SIGTERM);
    ::raise(SIGINT);
    ::raise(SIGHUP);
    EXPECT_TRUE(received.empty()) << "nothing runs inside the signal handler";
    for (int i = 0; i < 100 && received.size() < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(received, (std::vector<int>{SIGTERM, SIGINT, SIGHUP}));

    installed->reset();
    EXPECT_EQ(actionOf(SIGTERM), SIG_DFL);
    EXPECT_TRUE(TerminationSignals::install({})) << "a new instance after the old one is gone";
}

TEST(TerminationSignals, AHangUpIgnoredAtStartStaysIgnored)
{
    ::signal(SIGHUP, SIG_IGN);
    auto installed = TerminationSignals::install({});
    ASSERT_TRUE(installed);
    EXPECT_EQ(actionOf(SIGHUP), SIG_IGN);
    EXPECT_NE(actionOf(SIGTERM), SIG_DFL);
    installed->reset();
    EXPECT_EQ(actionOf(SIGHUP), SIG_IGN);
    ::signal(SIGHUP, SIG_DFL);
}
