// The fakes of the facilities that later features use: each keeps its
// interface's contract (an echo answers once, a cancelled one never).
#include "fakes/fake_network_tools.h"
#include "fakes/fake_unattended.h"

#include <gtest/gtest.h>

TEST(FakeIcmpEcho, AnswersOnceAndNeverAfterCancel)
{
    pvx::fakes::FakeIcmpEcho echo;
    int answers = 0;
    const int first = echo.send(QStringLiteral("127.0.0.1"), "Hello", 500, [&](const auto &) { ++answers; });
    const int second = echo.send(QStringLiteral("127.0.0.1"), "Hello", 500, [&](const auto &) { ++answers; });
    echo.cancel(second);
    echo.answer(first, {});
    echo.answer(first, {});
    echo.answer(second, {});
    EXPECT_EQ(answers, 1);
}

TEST(FakeCommandChannel, RefusesRequestsWhenItCannotListen)
{
    pvx::fakes::FakeCommandChannel channel;
    channel.fails = true;
    EXPECT_FALSE(channel.listen([](const QString &, const QString &) { return pvx::platform::CommandReply{true, {}}; }).ok());
    EXPECT_FALSE(channel.deliver(QStringLiteral("System"), QStringLiteral("[APPEXIT]")).accepted);
}
