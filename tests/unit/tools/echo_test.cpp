// The echo rules the tools and the link watch share: the status texts, the
// address conversion, the time-out, and what is decided without sending.
#include "tools/dotted_address.h"
#include "tools/echo_status.h"
#include "tools/send_echo.h"

#include "support/text.h"
#include "support/tools_fixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>

using pvx::testing::s;
using pvx::tools::AddressBytes;

TEST(EchoStatusText, NumberThreeBlanksAndTheMessage)
{
    const struct {
        int status;
        const char *text;
    } cases[] = {
        {0, "0   [IP Success]"},
        {-1, "-1   [Bad IP Format]"},
        {11001, "11001   [IP Buffer too_small]"},
        {11005, "11005   [IP Dest Port Unreachable]"},
        {11010, "11010   [IP Request Timed Out]"},
        {11014, "11014   [IP TTL Expired Reassembly]"},
        {11023, "11023   [IP Address Added]"},
        {11050, "11050   [IP General Failure]"},
        {11255, "11255   [IP Pending]"},
        {11024, "11024   [Unknown Message Returned]"},
        {11000, "11000   [Unknown Message Returned]"},
        {-2, "-2   [Unknown Message Returned]"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(pvx::tools::echoStatusText(c.status), s(c.text)) << c.status;
}

TEST(DottedTextToBytes, ConvertsAsTheStandardConversionDoes)
{
    using Bytes = std::optional<AddressBytes>;
    const struct {
        const char *text;
        Bytes bytes;
    } cases[] = {
        {"127.0.0.1", AddressBytes{127, 0, 0, 1}},
        {"10.0.0.255", AddressBytes{10, 0, 0, 255}},
        {"127.1", AddressBytes{127, 0, 0, 1}},
        {"10.1.513", AddressBytes{10, 1, 2, 1}},
        {"0x7f.010.0.1", AddressBytes{127, 8, 0, 1}},
        {"3232235786", AddressBytes{192, 168, 1, 10}},
        {"1.2.3.4 and more", AddressBytes{1, 2, 3, 4}},
        {"255.255.255.254", AddressBytes{255, 255, 255, 254}},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {" 1.2.3.4", std::nullopt},
        {"255.255.255.255", std::nullopt},
        {"0xffffffff", std::nullopt},
        {"1.2.3.4.", std::nullopt},
        {"1.2.3.4.5", std::nullopt},
        {"256.0.0.1", std::nullopt},
        {"1.2.65536", std::nullopt},
        {"4294967296", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"localhost", std::nullopt},
        {"1.2.3.4x", std::nullopt},
        {"1.2.3.09", std::nullopt},
        {"１.2.3.4", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(pvx::tools::dottedTextToBytes(s(c.text)), c.bytes) << c.text;
    EXPECT_EQ(pvx::tools::dottedTextToBytes(QString(300, QLatin1Char('1'))), std::nullopt);
    EXPECT_EQ(pvx::tools::addressBytesToText({10, 0, 0, 255}), s("10.0.0.255"));
}

TEST(EchoTimeout, FollowsTheListPositionWithinBounds)
{
    const struct {
        int position;
        int timeoutMs;
    } cases[] = {
        {0, 100}, {4, 500}, {19, 2000}, {-1, 500}, {-7, 500}, {INT_MIN, 500}, {20, 2100}, {599, 60000},
        {INT_MAX, 60000},
    };
    for (const auto &c : cases)
        EXPECT_EQ(pvx::tools::echoTimeoutMs(c.position), c.timeoutMs) << c.position;
}

TEST(SendEcho, DecidesBadAddressesAndOversizedDataWithoutSending)
{
    pvx::testing::ToolsFixture f;
    const struct {
        const char *address;
        int dataSize;
        int status;
    } cases[] = {
        {"", 5, -1},
        {"   ", 5, -1},
        {"localhost", 5, -1},
        {"255.255.255.255", 5, -1},
        {"127.0.0.1.", 5, -1},
        {"127.0.0.1", 243, 11001},
        {"127.0.0.1", 100000, 11001},
    };
    for (const auto &c : cases) {
        std::optional<pvx::tools::EchoReply> reply;
        const int id = pvx::tools::sendEcho(f.echo, s(c.address), QByteArray(c.dataSize, 'x'), 0,
                                            [&](const pvx::tools::EchoReply &r) { reply = r; });
        EXPECT_EQ(id, 0) << c.address;
        ASSERT_TRUE(reply) << c.address;
        EXPECT_EQ(reply->Status, c.status) << c.address;
        EXPECT_TRUE(reply->Data.isEmpty());
    }
    EXPECT_TRUE(f.echo.pending.isEmpty());
}

TEST(SendEcho, SendsTheCanonicalAddressAndFillsTheRecordFromTheAnswer)
{
    pvx::testing::ToolsFixture f;
    std::optional<pvx::tools::EchoReply> reply;
    const int id = pvx::tools::sendEcho(f.echo, s("127.1"), QByteArray(242, 'd'), -1,
                                        [&](const pvx::tools::EchoReply &r) { reply = r; });
    ASSERT_NE(id, 0);
    EXPECT_EQ(f.echo.pending.value(id).address, s("127.0.0.1"));
    EXPECT_EQ(f.echo.pending.value(id).timeoutMs, 500);
    EXPECT_FALSE(reply);

    // More than the data area holds (a peer may answer with more) is cut.
    f.answerEcho(QByteArray(300, 'd'), 3);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Status, 0);
    EXPECT_EQ(reply->Address, 16777343);
    EXPECT_EQ(reply->RoundTripTime, 3U);
    EXPECT_EQ(reply->DataSize, 300U);
    EXPECT_EQ(reply->Data.size(), pvx::tools::kEchoDataArea);
    EXPECT_EQ(reply->Ttl, 64);

    // The address reads as a signed little-endian number; a failure keeps
    // its status and its reason.
    const struct {
        const char *address;
        int status;
        const char *failure;
        int number;
    } answers[] = {
        {"192.168.1.10", 0, "", 167880896},
        {"10.0.0.200", 11003, "", -939524086},
        {"", 11010, "", 0},
        {"", 11050, "not permitted", 0},
    };
    for (const auto &a : answers) {
        reply.reset();
        pvx::tools::pingAddress(f.echo, s("10.0.0.200"), 0, [&](const pvx::tools::EchoReply &r) { reply = r; });
        EXPECT_EQ(f.echo.pending.first().data, QByteArray("Hello"));
        f.echo.answer(f.echo.pending.firstKey(), {a.status, s(a.address), 0, 0, {}, s(a.failure)});
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->Status, a.status);
        EXPECT_EQ(reply->Address, a.number);
        EXPECT_EQ(reply->Failure, s(a.failure));
    }
}
