// Where datagrams to a remote host go: literals at once, a name to the first
// address the resolver gives, of either family.
#include "platform/linux/remote_address_lookup.h"

#include "fakes/fake_network_tools.h"

#include <gtest/gtest.h>

#include <vector>

namespace platform = pvx::platform;

namespace {

QString s(const char *text)
{
    return QString::fromLatin1(text);
}

struct DestinationCase {
    const char *name;
    const char *host;
    /// What the resolver answers for the name.
    std::vector<const char *> resolved;
    /// Where datagrams go; nullptr when nowhere.
    const char *expected;
    /// Known without asking the resolver.
    bool literal;
};

class RemoteAddressLookupTest : public ::testing::TestWithParam<DestinationCase> {
protected:
    pvx::fakes::FakeHostResolver resolver;
    QStringList failures;
    platform::RemoteAddressLookup lookup{resolver, [this](const QString &description) { failures.append(description); }};
};

TEST_P(RemoteAddressLookupTest, DatagramsGoToTheFirstAddressOfEitherFamily)
{
    const DestinationCase &c = GetParam();
    QStringList answer;
    for (const char *address : c.resolved)
        answer.append(s(address));
    resolver.allAddresses.insert(s(c.host), answer);

    auto found = lookup.address(s(c.host));
    EXPECT_EQ(found.has_value(), c.literal);
    EXPECT_EQ(resolver.pendingAll.size(), c.literal ? 0 : 1);
    resolver.resolveAll();
    found = lookup.address(s(c.host));

    if (c.expected == nullptr) {
        EXPECT_FALSE(found.has_value());
        EXPECT_EQ(failures.size(), 1);
        return;
    }
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, QHostAddress(s(c.expected)));
    EXPECT_TRUE(failures.isEmpty());
    // Known now: asking again sends nothing to the resolver.
    EXPECT_TRUE(resolver.pendingAll.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, RemoteAddressLookupTest,
    ::testing::Values(DestinationCase{"Ipv4Literal", "127.0.0.1", {}, "127.0.0.1", true},
                      DestinationCase{"Ipv6Literal", "::1", {}, "::1", true},
                      DestinationCase{"BracketedIpv6Literal", "[::1]", {}, "::1", true},
                      DestinationCase{"NameWithIpv4Only", "v4.test", {"192.0.2.7"}, "192.0.2.7", false},
                      DestinationCase{"NameWithIpv6Only", "v6.test", {"2001:db8::7"}, "2001:db8::7", false},
                      DestinationCase{"Ipv6AnsweredFirst", "both.test", {"2001:db8::7", "192.0.2.7"}, "2001:db8::7", false},
                      DestinationCase{"Ipv4AnsweredFirst", "both.test", {"192.0.2.7", "2001:db8::7"}, "192.0.2.7", false},
                      DestinationCase{"UnreadableAnswerSkipped", "odd.test", {"not an address", "::1"}, "::1", false},
                      // Brackets belong to IPv6 alone: this is looked up as a name.
                      DestinationCase{"BracketedIpv4IsNoLiteral", "[127.0.0.1]", {}, nullptr, false},
                      DestinationCase{"NameWithoutAddress", "gone.test", {}, nullptr, false}),
    [](const auto &test) { return std::string(test.param.name); });

TEST(RemoteAddressLookup, AFailedNameIsReportedOnceAndNotAskedAgainAtOnce)
{
    pvx::fakes::FakeHostResolver resolver;
    QStringList failures;
    platform::RemoteAddressLookup lookup(resolver, [&](const QString &description) { failures.append(description); });
    (void)lookup.address(s("gone.test"));
    resolver.resolveAll();
    EXPECT_FALSE(lookup.address(s("gone.test")).has_value());
    EXPECT_TRUE(resolver.pendingAll.isEmpty());
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(failures.front(), s("Host not found: gone.test; datagrams to it are dropped until it resolves"));
}

TEST(RemoteAddressLookup, AnotherHostOrTheEndCancelsTheLookupUnderWay)
{
    pvx::fakes::FakeHostResolver resolver;
    resolver.allAddresses.insert(s("old.test"), {s("192.0.2.1")});
    resolver.allAddresses.insert(s("new.test"), {s("2001:db8::2")});
    {
        platform::RemoteAddressLookup lookup(resolver, [](const QString &) {});
        (void)lookup.address(s("old.test"));
        (void)lookup.address(s("new.test"));
        ASSERT_EQ(resolver.pendingAll.size(), 1);
        EXPECT_EQ(resolver.pendingAll.first().first, s("new.test"));
        resolver.resolveAll();
        EXPECT_EQ(lookup.address(s("new.test")), QHostAddress(s("2001:db8::2")));

        (void)lookup.address(s("old.test"));
        ASSERT_EQ(resolver.pendingAll.size(), 1);
    }
    // Its answer would reach an object that is gone.
    EXPECT_TRUE(resolver.pendingAll.isEmpty());
}

} // namespace
