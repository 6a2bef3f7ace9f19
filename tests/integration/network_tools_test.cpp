// The echo and the name look-up for real, on loopback. Pings need an ICMP
// socket this user may open; where none is allowed the echo tests say why
// and skip.
#include "platform/linux/posix_icmp_echo.h"
#include "platform/linux/qt_host_resolver.h"
#include "tools/send_echo.h"

#include "support/text.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using pvx::testing::s;

namespace {

constexpr int kPingTimeout = 19; // 2 s

/// One echo to `address` through `echo`, waited for.
std::optional<pvx::tools::EchoReply> pingLoopback(pvx::platform::IcmpEcho &echo, const QByteArray &data,
                                                  const char *address = "127.0.0.1")
{
    std::optional<pvx::tools::EchoReply> reply;
    pvx::tools::sendEcho(echo, s(address), data, kPingTimeout, [&](const auto &r) { reply = r; });
    waitUntil([&] { return reply.has_value(); });
    return reply;
}

/// This thread in a network namespace of its own with loopback up, so that
/// no other traffic reaches a raw socket; the old one comes back at the end.
class OwnNetwork {
public:
    OwnNetwork() : m_previous(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC))
    {
        if (::geteuid() != 0)
            why = "a network namespace of its own needs root";
        else if (m_previous < 0 || ::unshare(CLONE_NEWNET) != 0)
            why = std::string("no network namespace of its own: ") + std::strerror(errno);
        if (!why.empty())
            return;
        const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq loopback{};
        std::strcpy(loopback.ifr_name, "lo");
        loopback.ifr_flags = IFF_UP;
        if (::ioctl(control, SIOCSIFFLAGS, &loopback) != 0)
            why = std::string("loopback stays down: ") + std::strerror(errno);
        ::close(control);
    }
    ~OwnNetwork()
    {
        ::setns(m_previous, CLONE_NEWNET);
        ::close(m_previous);
    }
    OwnNetwork(const OwnNetwork &) = delete;
    OwnNetwork &operator=(const OwnNetwork &) = delete;

    /// Why the test cannot have a network of its own; empty when it has.
    std::string why;

private:
    int m_previous;
};

} // namespace

TEST(PosixIcmpEcho, LoopbackAnswersWithTheDataSent)
{
    pvx::platform::PosixIcmpEcho echo;
    const auto reply = pingLoopback(echo, "Testing 123");
    ASSERT_TRUE(reply);
    if (!reply->Failure.isEmpty())
        GTEST_SKIP() << reply->Failure.toStdString();
    EXPECT_EQ(reply->Status, 0);
    EXPECT_EQ(reply->Address, 16777343);
    EXPECT_EQ(reply->DataSize, 11U);
    EXPECT_EQ(reply->Data, QByteArray("Testing 123"));
    EXPECT_GT(reply->Ttl, 0);
    EXPECT_LT(reply->RoundTripTime, 2000U);

    const auto empty = pingLoopback(echo, {});
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->Status, 0);
    EXPECT_EQ(empty->DataSize, 0U);

    // The kernel refuses a broadcast at once; that ends the request, not a
    // time-out.
    const auto refused = pingLoopback(echo, "x", "127.255.255.255");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->Status, 11050);
    EXPECT_LT(refused->RoundTripTime, 1000U);
}

TEST(PosixIcmpEcho, ConcurrentEchoesOfSeveralOwnersGetTheirOwnAnswers)
{
    std::vector<std::unique_ptr<pvx::platform::PosixIcmpEcho>> owners;
    for (int i = 0; i < 3; ++i)
        owners.push_back(std::make_unique<pvx::platform::PosixIcmpEcho>());
    std::map<QByteArray, std::optional<pvx::tools::EchoReply>> replies;
    int cancelledAnswers = 0;
    for (int i = 0; i < 30; ++i) {
        auto &echo = *owners[static_cast<std::size_t>(i % 3)];
        const QByteArray data = "echo " + QByteArray::number(i);
        const int id = pvx::tools::sendEcho(echo, s("127.0.0.1"), data, kPingTimeout, [&, data](const auto &r) {
            if (data.endsWith('7'))
                ++cancelledAnswers;
            replies[data] = r;
        });
        if (data.endsWith('7'))
            echo.cancel(id);
    }
    ASSERT_TRUE(waitUntil([&] { return replies.size() == 27; }));
    if (!replies.begin()->second->Failure.isEmpty())
        GTEST_SKIP() << replies.begin()->second->Failure.toStdString();
    for (const auto &[data, reply] : replies) {
        EXPECT_EQ(reply->Status, 0) << data.constData();
        EXPECT_EQ(reply->Data, data);
    }
    // Late answers of the cancelled ones come to nothing.
    runEventsFor(std::chrono::milliseconds(200));
    EXPECT_EQ(cancelledAnswers, 0);
    EXPECT_EQ(replies.size(), 27U);
}

TEST(PosixIcmpEcho, AThousandEchoesInFlightAreAllAnswered)
{
    const OwnNetwork network;
    if (!network.why.empty())
        GTEST_SKIP() << network.why;
    pvx::platform::PosixIcmpEcho echo;
    constexpr int kEchoes = 1000;
    std::vector<std::optional<pvx::tools::EchoReply>> replies(kEchoes);
    int answered = 0;
    // All sent from one handler, as a pump tick of many sessions sends them.
    for (int i = 0; i < kEchoes; ++i) {
        pvx::tools::sendEcho(echo, s("127.0.0.1"), "echo " + QByteArray::number(i), kPingTimeout,
                             [&, i](const auto &r) {
                                 replies[static_cast<std::size_t>(i)] = r;
                                 ++answered;
                             });
    }
    ASSERT_TRUE(waitUntil([&] { return answered == kEchoes; }, std::chrono::seconds(30)));
    int failed = 0;
    int otherData = 0;
    for (int i = 0; i < kEchoes; ++i) {
        const auto &reply = *replies[static_cast<std::size_t>(i)];
        failed += reply.Status != 0 ? 1 : 0;
        otherData += reply.Status == 0 && reply.Data != "echo " + QByteArray::number(i) ? 1 : 0;
    }
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(otherData, 0);
}

TEST(QtHostResolver, FindsTheFirstAddressOrNothingWithoutStalling)
{
    pvx::platform::QtHostResolver resolver;
    const struct {
        const char *name;
        const char *address; ///< null: any answer will do
    } cases[] = {
        {"localhost", "127.0.0.1"},
        {"127.0.0.1", "127.0.0.1"},
        {"10.0.0.255", "10.0.0.255"},
        {"nosuchhost.invalid", ""},
        {"   ", ""},
        {"localhost.", nullptr},
        {"255.255.255.255", nullptr},
    };
    std::map<int, QString> answers;
    for (int n = 0; n < static_cast<int>(std::size(cases)); ++n)
        resolver.lookup(s(cases[n].name), [&answers, n](const QString &address) { answers[n] = address; });
    const int overLong = resolver.lookup(QString(300, QLatin1Char('a')), [&](const QString &address) {
        answers[-1] = address;
    });
    constexpr int thisComputer = -2;
    resolver.lookup({}, [&](const QString &address) { answers[thisComputer] = address; });
    const int cancelled = resolver.lookup(s("localhost"), [&](const QString &) { answers[-3] = s("late"); });
    resolver.cancel(cancelled);
    EXPECT_NE(overLong, cancelled);
    // Unknown names fail fast here: there is no network to ask.
    ASSERT_TRUE(waitUntil([&] { return answers.size() == std::size(cases) + 2; }, std::chrono::seconds(20)));
    for (std::size_t n = 0; n < std::size(cases); ++n) {
        if (cases[n].address) {
            EXPECT_EQ(answers[static_cast<int>(n)], s(cases[n].address)) << cases[n].name;
        }
    }
    EXPECT_EQ(answers[-1], QString());
    EXPECT_FALSE(answers[thisComputer].isEmpty());
    runEventsFor(std::chrono::milliseconds(100));
    EXPECT_FALSE(answers.contains(-3));
}

TEST(PosixIcmpEcho, EachFamilyIsAnsweredOverItsOwnProtocol)
{
    if (::access("/proc/net/if_inet6", R_OK) != 0)
        GTEST_SKIP() << "this machine has no IPv6";
    pvx::platform::PosixIcmpEcho echo;
    const struct {
        const char *to;
        int status;
        const char *from; ///< null: nobody answers
    } cases[] = {
        {"::1", 0, "::1"},
        // An IPv4 client of a dual-stack listener, as the kernel may name it.
        {"::ffff:127.0.0.1", 0, "127.0.0.1"},
        {"127.0.0.1", 0, "127.0.0.1"},
        {"fe80::1%nosuchinterface", 11050, nullptr},
        {"::1]", 11050, nullptr},
    };
    for (const auto &c : cases) {
        std::optional<pvx::platform::EchoReply> reply;
        echo.send(s(c.to), "Testing v6", 2000, [&](const pvx::platform::EchoReply &r) { reply = r; });
        ASSERT_TRUE(waitUntil([&] { return reply.has_value(); })) << c.to;
        if (!reply->failure.isEmpty())
            GTEST_SKIP() << reply->failure.toStdString();
        EXPECT_EQ(reply->status, c.status) << c.to;
        if (c.from) {
            EXPECT_EQ(reply->address, s(c.from)) << c.to;
            EXPECT_EQ(reply->data, QByteArray("Testing v6")) << c.to;
            EXPECT_GT(reply->ttl, 0) << c.to;
        }
    }
}
