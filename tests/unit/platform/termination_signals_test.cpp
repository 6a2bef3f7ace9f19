#include "platform/linux/termination_signals.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <csignal>

using pvx::platform::TerminationSignals;

TEST(TerminationSignals, SignalsArriveFromTheEventLoopOnly)
{
    std::vector<int> received;
    auto installed = TerminationSignals::install([&received](int number) { received.push_back(number); });
    ASSERT_TRUE(installed);
    EXPECT_FALSE(TerminationSignals::install({})) << "one instance per process";

    ::raise(SIGTERM);
    ::raise(SIGINT);
    EXPECT_TRUE(received.empty()) << "nothing runs inside the signal handler";
    for (int i = 0; i < 100 && received.size() < 2; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(received, (std::vector<int>{SIGTERM, SIGINT}));

    installed->reset();
    struct sigaction current {};
    ::sigaction(SIGTERM, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
    EXPECT_TRUE(TerminationSignals::install({})) << "a new instance after the old one is gone";
}
