#include "shell/status_report.h"

#include "support/text.h"

#include <gtest/gtest.h>

using pvx::session::Role;
using pvx::session::SessionStatus;
using pvx::testing::s;

namespace {

SessionStatus busyServer()
{
    return {.name = s("Scale"),
            .connector = s("COM3"),
            .role = Role::Server,
            .udp = false,
            .address = s("0.0.0.0"),
            .port = 4001,
            .serial = s("COM Status: Open"),
            .network = s("TCP/IP Status: Listening..."),
            .clients = 2,
            .moved = {.toNetwork = 5000000000, .toSerial = 64},
            .heldToNetwork = 12,
            .heldToSerial = 3,
            .modem = {}};
}

} // namespace

TEST(StatusReport, OneTabFreeLinePerSession)
{
    SessionStatus udpClient{.name = s("COM7 50%1"), .connector = s("COM7"), .role = Role::Client, .udp = true,
                            .address = s("192.0.2.1"), .port = 5000, .serial = s("COM Status: Closed"),
                            .network = s("TCP/IP Status: Error - Host\tnot\r\nfound"), .clients = 1, .moved = {},
                            .heldToNetwork = 0, .heldToSerial = 0, .modem = {}};
    EXPECT_EQ(pvx::shell::statusLines({busyServer(), udpClient}),
              (QStringList{s("Scale | server 0.0.0.0:4001 | COM Status: Open | TCP/IP Status: Listening... | "
                             "2 clients | to network 5000000000 bytes, 12 held | to serial 64 bytes, 3 held"),
                           s("COM7 50%1 | udp 192.0.2.1:5000 | COM Status: Closed | TCP/IP Status: Error - Host not  "
                             "found | 1 client | to network 0 bytes, 0 held | to serial 0 bytes, 0 held")}));
    EXPECT_TRUE(pvx::shell::statusLines({}).isEmpty());
}

TEST(StatusReport, JsonIsOneCompactLineWithNumbersAsNumbers)
{
    EXPECT_EQ(pvx::shell::statusJson({busyServer()}),
              s(R"({"sessions":[{"address":"0.0.0.0","bytesToNetwork":5000000000,"bytesToSerial":64,)"
                R"("clients":2,"connector":"COM3","heldToNetwork":12,"heldToSerial":3,"name":"Scale",)"
                R"("network":"TCP/IP Status: Listening...","port":4001,"role":"server","serial":"COM Status: Open"}]})"));
    EXPECT_EQ(pvx::shell::statusJson({}), s(R"({"sessions":[]})"));
}

TEST(StatusReport, ModemLinesAndRefusalsShowOnlyForSessionsThatHaveThem)
{
    SessionStatus remote = busyServer();
    remote.role = Role::Client;
    remote.modem = s("CTS CD");
    EXPECT_TRUE(pvx::shell::statusLines({remote}).at(0).endsWith(s(" | to serial 64 bytes, 3 held | modem CTS CD")));
    EXPECT_TRUE(pvx::shell::statusJson({remote}).contains(s(R"("modem":"CTS CD")")));
    SessionStatus guarded = busyServer();
    guarded.refused = 7;
    EXPECT_TRUE(pvx::shell::statusLines({guarded}).at(0).endsWith(s(" | to serial 64 bytes, 3 held | refused 7")));
    EXPECT_TRUE(pvx::shell::statusJson({guarded}).contains(s(R"("refused":7)")));
    for (const char *key : {"modem", "refused"})
        EXPECT_FALSE(pvx::shell::statusJson({busyServer()}).contains(s(key))) << key;
}

TEST(StatusReport, ShowsTheAddressAUserWouldTypeWithIPv6InBrackets)
{
    const struct {
        Role role;
        bool udp;
        const char *address;
        const char *line;
        const char *json;
    } cases[] = {
        {Role::Server, false, "", "server [::]:4001", R"("address":"::")"},
        {Role::Server, true, " ", "udp [::]:4001", R"("address":"::")"},
        {Role::Server, false, "0.0.0.0", "server 0.0.0.0:4001", R"("address":"0.0.0.0")"},
        {Role::Server, false, "::1", "server [::1]:4001", R"("address":"::1")"},
        {Role::Server, false, "fe80::1%lo", "server [fe80::1%lo]:4001", R"("address":"fe80::1%lo")"},
        {Role::Client, false, "example.net", "client example.net:4001", R"("address":"example.net")"},
        {Role::Server, false, "127.0.0.1", "server 127.0.0.1:4001", R"("address":"127.0.0.1")"},
        {Role::Client, false, "", "client :4001", R"("address":"")"},
    };
    for (const auto &c : cases) {
        SessionStatus status = busyServer();
        status.role = c.role;
        status.udp = c.udp;
        status.address = s(c.address);
        EXPECT_EQ(pvx::shell::statusLines({status}).at(0).section(s(" | "), 1, 1), s(c.line)) << c.address;
        EXPECT_TRUE(pvx::shell::statusJson({status}).contains(s(c.json))) << c.address;
    }
}
