#include "platform/linux/ip_address.h"

#include <gtest/gtest.h>

using pvx::platform::addressText;
using pvx::platform::parseLocalAddress;

namespace {

QString s(const char *text)
{
    return QString::fromUtf8(text);
}

} // namespace

TEST(IpAddress, ReadsTheAddressesAUserTypesAndShowsThemBackTheSameWay)
{
    const struct {
        const char *typed;
        QAbstractSocket::NetworkLayerProtocol family;
        const char *shown;
    } cases[] = {
        {"127.0.0.1", QAbstractSocket::IPv4Protocol, "127.0.0.1"},
        {" 192.0.2.7 ", QAbstractSocket::IPv4Protocol, "192.0.2.7"},
        {"0.0.0.0", QAbstractSocket::IPv4Protocol, "0.0.0.0"},
        {"::1", QAbstractSocket::IPv6Protocol, "::1"},
        {"[::1]", QAbstractSocket::IPv6Protocol, "::1"},
        {"::", QAbstractSocket::IPv6Protocol, "::"},
        {"[2001:DB8:0:0::7]", QAbstractSocket::IPv6Protocol, "2001:db8::7"},
        {"fe80::1%lo", QAbstractSocket::IPv6Protocol, "fe80::1%lo"},
        {"[fe80::1%1]", QAbstractSocket::IPv6Protocol, "fe80::1%1"},
        {"::ffff:127.0.0.1", QAbstractSocket::IPv6Protocol, "127.0.0.1"},
    };
    for (const auto &c : cases) {
        const auto parsed = parseLocalAddress(s(c.typed));
        ASSERT_TRUE(parsed.ok()) << c.typed << ": " << parsed.error().detail.toStdString();
        EXPECT_EQ(parsed->protocol(), c.family) << c.typed;
        EXPECT_EQ(addressText(*parsed), s(c.shown)) << c.typed;
    }
}

TEST(IpAddress, AnEmptyAddressMeansEveryAddressOfBothFamilies)
{
    for (const char *typed : {"", "  "}) {
        const auto parsed = parseLocalAddress(s(typed));
        ASSERT_TRUE(parsed.ok());
        EXPECT_EQ(parsed->protocol(), QAbstractSocket::AnyIPProtocol);
    }
}

TEST(IpAddress, RefusesWhatIsNoLocalAddressAndSaysWhy)
{
    const struct {
        const char *typed;
        const char *reason;
    } cases[] = {
        {"nowhere", "neither an IPv4 nor an IPv6 address"},
        {"300.1.2.3", "neither an IPv4 nor an IPv6 address"},
        {"::1::2", "neither an IPv4 nor an IPv6 address"},
        {"[::1", "the bracket is not closed"},
        {"::1]", "the bracket is not opened"},
        {"[::1]:4001", "a port does not belong in the address; set it apart"},
        {"127.0.0.1:4001", "a port does not belong in the address; set it apart"},
        {"[127.0.0.1]", "brackets hold IPv6 addresses only"},
        {"127.0.0.1%lo", "only an IPv6 address has a zone"},
        {"fe80::1%nosuch0", "this computer has no interface nosuch0"},
        {"fe80::1%", "this computer has no interface "},
        {"fe80::1%999999", "this computer has no interface 999999"},
    };
    for (const auto &c : cases) {
        const auto parsed = parseLocalAddress(s(c.typed));
        ASSERT_FALSE(parsed.ok()) << c.typed;
        EXPECT_EQ(parsed.error().code, pvx::platform::ErrorCode::InvalidArgument) << c.typed;
        EXPECT_EQ(parsed.error().detail, s("Not a valid local address: %1 (%2)").arg(s(c.typed), s(c.reason)));
    }
}
