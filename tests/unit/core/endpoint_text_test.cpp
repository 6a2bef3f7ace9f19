#include "core/endpoint_text.h"

#include <gtest/gtest.h>

TEST(EndpointText, PutsIPv6AddressesInBrackets)
{
    const struct {
        const char *address;
        const char *shown;
    } cases[] = {
        {"127.0.0.1", "127.0.0.1:4001"},
        {"example.net", "example.net:4001"},
        {"::1", "[::1]:4001"},
        {"fe80::1%eth0", "[fe80::1%eth0]:4001"},
        {"", ":4001"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(pvx::core::endpointText(QString::fromUtf8(c.address), 4001), QString::fromUtf8(c.shown)) << c.address;
}
