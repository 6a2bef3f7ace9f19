#include "session/address_filter.h"

#include "session/refusal_log.h"
#include "support/text.h"

#include <gtest/gtest.h>

using pvx::session::AddressFilter;
using pvx::session::RefusalLog;
using pvx::testing::s;

TEST(AddressFilter, AdmitsExactlyTheListedAddressesAndRanges)
{
    const struct {
        const char *list;
        const char *peer;
        bool allowed;
    } cases[] = {
        {"", "203.0.113.9", true},
        {" , ", "not an address", true},
        {"192.0.2.7", "192.0.2.7", true},
        {"192.0.2.7", "192.0.2.8", false},
        {"10.0.0.0/8", "10.255.1.2", true},
        {"10.0.0.0/8", "11.0.0.1", false},
        {"192.0.2.0/25", "192.0.2.127", true},
        {"192.0.2.0/25", "192.0.2.128", false},
        {"192.0.2.9/32", "192.0.2.9", true},
        {"0.0.0.0/0", "198.51.100.1", true},
        {"0.0.0.0/0", "::1", false},
        {"192.0.2.1, 127.0.0.0/8 ::1", "127.0.0.1", true},
        {"192.0.2.1,127.0.0.0/8\t::1", "::1", true},
        {"127.0.0.0/8", "::ffff:127.0.0.1", true},
        {"::ffff:127.0.0.0/104", "127.0.0.2", true},
        {"2001:db8::/32", "2001:db8:ffff::1", true},
        {"2001:db8::/32", "2001:db9::1", false},
        {"2001:db8::/33", "2001:db8:8000::1", false},
        {"fe80::/10", "fe80::1%lo", true},
        {"::/0", "2001:db8::1", true},
        {"::/0", "192.0.2.1", true},
        {"2001:db8:0:0:0:0:0:1", "2001:DB8::1", true},
        {"::1", "::", false},
        {"::192.0.2.1", "::c000:201", true},
        {"192.0.2.1", "", false},
        {"192.0.2.1", "host.example", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.list) + " / " + c.peer);
        const auto filter = AddressFilter::parse(s(c.list));
        ASSERT_TRUE(filter.ok());
        EXPECT_EQ(filter.value().allows(s(c.peer)), c.allowed);
    }
}

TEST(AddressFilter, NamesTheFirstEntryThatIsNoAddressOrRange)
{
    const struct {
        const char *list;
        const char *bad;
    } cases[] = {
        {"192.0.2.1 host.example", "host.example"},
        {"192.0.2.256", "192.0.2.256"},
        {"192.0.2", "192.0.2"},
        {"192.0.2.1.5", "192.0.2.1.5"},
        {"192.0.2.01", "192.0.2.01"},
        {"+1.2.3.4", "+1.2.3.4"},
        {"10.0.0.0/33", "10.0.0.0/33"},
        {"10.0.0.0/", "10.0.0.0/"},
        {"10.0.0.0/-1", "10.0.0.0/-1"},
        {"10.0.0.0/8/8", "10.0.0.0/8/8"},
        {"2001:db8::/129", "2001:db8::/129"},
        {"2001:db8::1::2", "2001:db8::1::2"},
        {"1:2:3:4:5:6:7:8:9", "1:2:3:4:5:6:7:8:9"},
        {"1:2:3:4:5:6:7", "1:2:3:4:5:6:7"},
        {"1:2:3:4:5:6:7::8", "1:2:3:4:5:6:7::8"},
        {"12345::1", "12345::1"},
        {"0x1::1", "0x1::1"},
        {"g::1", "g::1"},
        {"[::1]", "[::1]"},
        {"::1%lo", "::1%lo"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.list);
        const auto filter = AddressFilter::parse(s(c.list));
        ASSERT_FALSE(filter.ok());
        EXPECT_EQ(filter.error().code, pvx::platform::ErrorCode::InvalidArgument);
        EXPECT_EQ(filter.error().detail, s(c.bad));
    }
}

TEST(RefusalLog, LogsEachAddressOnceAMinuteAndStaysBounded)
{
    using namespace std::chrono_literals;
    RefusalLog log;
    const RefusalLog::Clock::time_point t0{};
    EXPECT_TRUE(log.shouldLog(s("192.0.2.1"), t0));
    EXPECT_FALSE(log.shouldLog(s("192.0.2.1"), t0 + 59s));
    EXPECT_TRUE(log.shouldLog(s("192.0.2.2"), t0 + 59s)) << "another address is logged on its own";
    EXPECT_TRUE(log.shouldLog(s("192.0.2.1"), t0 + 60s));
    EXPECT_FALSE(log.shouldLog(s("192.0.2.1"), t0 + 61s));

    int logged = 0;
    for (int i = 0; i < 10000; ++i)
        logged += log.shouldLog(s("2001:db8::%1").arg(i, 0, 16), t0 + 61s) ? 1 : 0;
    EXPECT_EQ(logged, RefusalLog::kMaxAddresses - 2) << "a flood of addresses logs no more than the table holds";
    EXPECT_TRUE(log.shouldLog(s("2001:db8::ffff:1"), t0 + 200s)) << "a minute later the table has room again";
}
