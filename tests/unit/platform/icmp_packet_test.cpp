// ICMP messages as the kernel hands them over: which belong to a request of
// ours, and the status each error stands for.
#include "platform/linux/icmp_packet.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

namespace icmp = pvx::platform::icmp;

namespace {

std::vector<std::uint8_t> bytes(const QByteArray &data)
{
    return {data.begin(), data.end()};
}

/// An IPv4 header of 20 bytes with `ttl`, followed by `payload`.
QByteArray ipPacket(std::uint8_t ttl, const QByteArray &payload)
{
    QByteArray header(20, '\0');
    header[0] = 0x45;
    header[8] = static_cast<char>(ttl);
    header[9] = 1;
    return header + payload;
}

/// An ICMP error of `type` and `code` quoting `request`.
QByteArray icmpError(std::uint8_t type, std::uint8_t code, const QByteArray &request)
{
    QByteArray error(8, '\0');
    error[0] = static_cast<char>(type);
    error[1] = static_cast<char>(code);
    return error + ipPacket(64, request.left(8));
}

} // namespace

TEST(IcmpPacket, RequestCarriesIdentifierSequenceAndAValidChecksum)
{
    const QByteArray request = icmp::echoRequest(0x1234, 0xabcd, "Hello");
    ASSERT_EQ(request.size(), 13);
    EXPECT_EQ(request.left(2), QByteArray("\x08\x00", 2));
    EXPECT_EQ(request.mid(4, 4), QByteArray("\x12\x34\xab\xcd", 4));
    // The ones' complement sum of a correct message, checksum included, is
    // all ones.
    std::uint32_t sum = 0;
    for (qsizetype i = 0; i < request.size(); i += 2)
        sum += static_cast<std::uint32_t>(static_cast<std::uint8_t>(request[i]) << 8
                                          | (i + 1 < request.size() ? static_cast<std::uint8_t>(request[i + 1]) : 0));
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    EXPECT_EQ(sum, 0xffffU);
}

TEST(IcmpPacket, EchoReplyAndErrorsAreMatchedToTheRequest)
{
    const QByteArray request = icmp::echoRequest(0x1234, 7, "Hello");
    QByteArray reply = request;
    reply[0] = 0;
    const auto answer = icmp::readMessage(bytes(reply));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->identifier, 0x1234);
    EXPECT_EQ(answer->sequence, 7);
    EXPECT_EQ(answer->status, 0);
    EXPECT_EQ(answer->data, QByteArray("Hello"));

    const struct {
        std::uint8_t type;
        std::uint8_t code;
        int status;
    } errors[] = {
        {3, 0, 11002}, {3, 6, 11002}, {3, 1, 11003}, {3, 10, 11003}, {3, 2, 11004}, {3, 3, 11005},
        {3, 4, 11009}, {3, 13, 11050}, {11, 0, 11013}, {11, 1, 11014}, {12, 0, 11015}, {4, 0, 11016},
    };
    for (const auto &e : errors) {
        const auto error = icmp::readMessage(bytes(icmpError(e.type, e.code, request)));
        ASSERT_TRUE(error) << int(e.type) << '/' << int(e.code);
        EXPECT_EQ(error->status, e.status) << int(e.type) << '/' << int(e.code);
        EXPECT_EQ(error->sequence, 7);
        EXPECT_EQ(error->identifier, 0x1234);
    }
}

TEST(IcmpPacket, IgnoresWhatIsNoAnswerToARequest)
{
    const QByteArray request = icmp::echoRequest(1, 2, "Hello");
    QByteArray redirect = icmpError(5, 0, request);
    QByteArray aboutAnotherProtocol = icmpError(3, 3, QByteArray("\x11\0\0\0\0\0\0\0", 8));
    const QByteArray ignored[] = {request, redirect, aboutAnotherProtocol, request.left(7),
                                  icmpError(3, 1, request).left(30), QByteArray()};
    for (const QByteArray &message : ignored)
        EXPECT_FALSE(icmp::readMessage(bytes(message))) << message.toHex().constData();

    const auto ip = icmp::stripIpHeader(bytes(ipPacket(57, request)));
    ASSERT_TRUE(ip);
    EXPECT_EQ(ip->ttl, 57);
    EXPECT_EQ(ip->payload.size(), 13U);
    QByteArray badLength = ipPacket(57, request);
    badLength[0] = 0x4f;
    EXPECT_FALSE(icmp::stripIpHeader(bytes(badLength)));
    EXPECT_FALSE(icmp::stripIpHeader(bytes(request)));
}

TEST(IcmpPacket, SendErrorsMapToStatuses)
{
    const struct {
        int errorNumber;
        int status;
    } cases[] = {
        {ENETUNREACH, 11002}, {EHOSTUNREACH, 11003}, {ENOBUFS, 11006}, {EMSGSIZE, 11009}, {EACCES, 11050}, {EIO, 11050},
    };
    for (const auto &c : cases)
        EXPECT_EQ(icmp::statusOfErrno(c.errorNumber), c.status) << c.errorNumber;
}

TEST(IcmpPacket, Icmpv6EchoAndErrorsAreMatchedToTheRequest)
{
    const auto v6 = icmp::Family::IPv6;
    const QByteArray request = icmp::echoRequest(0x1234, 9, "Hi", v6);
    ASSERT_EQ(request.size(), 10);
    // The kernel fills in the checksum: it covers both addresses.
    EXPECT_EQ(request.left(4), QByteArray("\x80\x00\x00\x00", 4));
    EXPECT_EQ(request.mid(4, 4), QByteArray("\x12\x34\x00\x09", 4));

    QByteArray reply = request;
    reply[0] = static_cast<char>(129);
    const auto answer = icmp::readMessage(bytes(reply), v6);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->sequence, 9);
    EXPECT_EQ(answer->data, QByteArray("Hi"));
    // An IPv4 reply type means nothing on ICMPv6, and the other way round.
    EXPECT_FALSE(icmp::readMessage(bytes(request), v6));
    EXPECT_FALSE(icmp::readMessage(bytes(reply)));

    QByteArray ipv6Header(40, '\0');
    ipv6Header[0] = 0x60;
    ipv6Header[6] = 58;
    const auto error = [&](std::uint8_t type, std::uint8_t code, const QByteArray &header) {
        QByteArray message(8, '\0');
        message[0] = static_cast<char>(type);
        message[1] = static_cast<char>(code);
        return message + header + request.left(8);
    };
    const struct {
        std::uint8_t type;
        std::uint8_t code;
        int status;
    } errors[] = {
        {1, 0, 11002}, {1, 6, 11002}, {1, 3, 11003}, {1, 1, 11003}, {1, 4, 11005},
        {1, 9, 11050}, {2, 0, 11009}, {3, 0, 11013}, {3, 1, 11014}, {4, 0, 11015},
    };
    for (const auto &e : errors) {
        const auto found = icmp::readMessage(bytes(error(e.type, e.code, ipv6Header)), v6);
        ASSERT_TRUE(found) << int(e.type) << '/' << int(e.code);
        EXPECT_EQ(found->status, e.status) << int(e.type) << '/' << int(e.code);
        EXPECT_EQ(found->sequence, 9);
        EXPECT_EQ(found->identifier, 0x1234);
    }
    QByteArray otherProtocol = ipv6Header;
    otherProtocol[6] = 17;
    const QByteArray ignored[] = {error(137, 0, ipv6Header), error(1, 3, otherProtocol),
                                  error(1, 3, ipv6Header.left(20)), error(1, 3, QByteArray(40, '\0'))};
    for (const QByteArray &message : ignored)
        EXPECT_FALSE(icmp::readMessage(bytes(message), v6)) << message.toHex().constData();
}
