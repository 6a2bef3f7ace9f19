// Which addresses a connection tries, in which order, and when it moves on.
#include "platform/linux/connect_attempts.h"

#include "fakes/fake_network_tools.h"
#include "fakes/fake_timer.h"
#include "platform/socket.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace platform = pvx::platform;

namespace {

QStringList texts(const std::vector<const char *> &items)
{
    QStringList list;
    for (const char *item : items)
        list.append(QString::fromLatin1(item));
    return list;
}

/// How one attempt ends.
enum class Outcome {
    Refused,
    Unreachable,
    /// Nothing happens until the patience timer fires (if it runs).
    Silent,
    Connects,
};

struct AttemptCase {
    const char *name;
    const char *host;
    /// What the resolver answers for the name.
    std::vector<const char *> resolved;
    std::vector<Outcome> outcomes;
    std::vector<const char *> expectedAttempts;
    /// The error the whole connect ends with; nothing when it connects or
    /// still waits.
    std::optional<int> expectedFailure;
};

class ConnectAttemptsTest : public ::testing::TestWithParam<AttemptCase> {};

TEST_P(ConnectAttemptsTest, TriesAddressesInOrderAndMovesOnWhenOneFails)
{
    const AttemptCase &c = GetParam();
    pvx::fakes::FakeHostResolver resolver;
    resolver.allAddresses.insert(QString::fromLatin1(c.host), texts(c.resolved));
    auto timer = std::make_unique<pvx::fakes::FakeTimer>();
    pvx::fakes::FakeTimer &patience = *timer;
    QStringList attempts;
    std::optional<int> failure;
    platform::ConnectAttempts connecting(resolver, std::move(timer),
                                         {
                                             .attempt = [&](const QHostAddress &a) { attempts.append(a.toString()); },
                                             .failed = [&](int number, const QString &) { failure = number; },
                                         });
    connecting.start(QString::fromLatin1(c.host));
    resolver.resolveAll();

    for (const Outcome outcome : c.outcomes) {
        switch (outcome) {
        case Outcome::Refused:
            connecting.attemptFailed(platform::kErrorConnectionRefused, QStringLiteral("Connection refused"));
            break;
        case Outcome::Unreachable:
            connecting.attemptFailed(platform::kErrorNetworkUnreachable, QStringLiteral("Network unreachable"));
            break;
        case Outcome::Silent:
            patience.fire();
            break;
        case Outcome::Connects:
            connecting.stop();
            break;
        }
    }
    EXPECT_EQ(attempts, texts(c.expectedAttempts));
    EXPECT_EQ(failure, c.expectedFailure);
    EXPECT_FALSE(patience.isActive() && failure.has_value());
    EXPECT_EQ(patience.interval(), platform::ConnectAttempts::kPatienceMs);
}

const std::vector<const char *> kBoth{"::1", "127.0.0.1"};

INSTANTIATE_TEST_SUITE_P(
    Rules, ConnectAttemptsTest,
    ::testing::Values(
        AttemptCase{"Ipv6Literal", "::1", {}, {Outcome::Connects}, {"::1"}, std::nullopt},
        AttemptCase{"BracketedIpv6Literal", " [::1] ", {}, {Outcome::Connects}, {"::1"}, std::nullopt},
        AttemptCase{"Ipv4Literal", "127.0.0.1", {}, {Outcome::Refused}, {"127.0.0.1"},
                    platform::kErrorConnectionRefused},
        AttemptCase{"LiteralIsNeverLookedUpAgainOrCutShort", "::1", {}, {Outcome::Silent}, {"::1"}, std::nullopt},
        AttemptCase{"NameWithNoAddress", "nowhere.invalid", {}, {}, {}, platform::kErrorHostNotFound},
        AttemptCase{"UnparsableAnswersAreSkipped", "odd", {"not an address"}, {}, {}, platform::kErrorHostNotFound},
        AttemptCase{"FirstAddressConnects", "dual", kBoth, {Outcome::Connects}, {"::1"}, std::nullopt},
        AttemptCase{"RefusalMovesToTheNext", "dual", kBoth, {Outcome::Refused, Outcome::Connects},
                    {"::1", "127.0.0.1"}, std::nullopt},
        AttemptCase{"UnreachableMovesToTheNext", "dual", {"fe80::1", "192.0.2.1", "127.0.0.1"},
                    {Outcome::Unreachable, Outcome::Refused, Outcome::Connects},
                    {"fe80::1", "192.0.2.1", "127.0.0.1"}, std::nullopt},
        AttemptCase{"TimeOutMovesToTheNext", "dual", {"127.0.0.1", "::1"}, {Outcome::Silent, Outcome::Connects},
                    {"127.0.0.1", "::1"}, std::nullopt},
        AttemptCase{"LastAddressIsNotCutShort", "dual", kBoth, {Outcome::Silent, Outcome::Silent},
                    {"::1", "127.0.0.1"}, std::nullopt},
        AttemptCase{"AllFailWithTheLastError", "dual", kBoth, {Outcome::Silent, Outcome::Refused},
                    {"::1", "127.0.0.1"}, platform::kErrorConnectionRefused},
        AttemptCase{"OpenBracketIsAName", "[::1", {}, {}, {}, platform::kErrorHostNotFound},
        AttemptCase{"BracketedIpv4IsAName", "[127.0.0.1]", {}, {}, {}, platform::kErrorHostNotFound}),
    [](const auto &test) { return std::string(test.param.name); });

TEST(ConnectAttempts, StartOverForgetsTheFormerLookup)
{
    pvx::fakes::FakeHostResolver resolver;
    resolver.allAddresses.insert(QStringLiteral("second"), {QStringLiteral("::1")});
    QStringList attempts;
    platform::ConnectAttempts connecting(
        resolver, std::make_unique<pvx::fakes::FakeTimer>(),
        {.attempt = [&](const QHostAddress &a) { attempts.append(a.toString()); }, .failed = [](int, const QString &) {}});
    connecting.start(QStringLiteral("first"));
    connecting.start(QStringLiteral("second"));
    EXPECT_EQ(resolver.pendingAll.size(), 1);
    resolver.resolveAll();
    EXPECT_EQ(attempts, QStringList{QStringLiteral("::1")});
}

} // namespace
