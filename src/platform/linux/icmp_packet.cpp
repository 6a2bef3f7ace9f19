#include "platform/linux/icmp_packet.h"

#include <cerrno>

namespace pvx::platform::icmp {

namespace {

constexpr std::uint8_t kEchoReply = 0;
constexpr std::uint8_t kDestUnreachable = 3;
constexpr std::uint8_t kSourceQuenchType = 4;
constexpr std::uint8_t kEchoRequest = 8;
constexpr std::uint8_t kTimeExceeded = 11;
constexpr std::uint8_t kParameterProblemType = 12;
constexpr std::uint8_t kEchoRequestV6 = 128;
constexpr std::uint8_t kEchoReplyV6 = 129;
constexpr std::uint8_t kDestUnreachableV6 = 1;
constexpr std::uint8_t kPacketTooBigV6 = 2;
constexpr std::uint8_t kTimeExceededV6 = 3;
constexpr std::uint8_t kParameterProblemV6 = 4;
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kMinIpHeader = 20;
constexpr std::size_t kIpv6Header = 40;
constexpr std::uint8_t kNextHeaderIcmpV6 = 58;

std::uint16_t read16(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

std::uint16_t checksum(const QByteArray &bytes)
{
    std::uint32_t sum = 0;
    for (qsizetype i = 0; i < bytes.size(); i += 2) {
        const auto high = static_cast<std::uint8_t>(bytes[i]);
        const auto low = i + 1 < bytes.size() ? static_cast<std::uint8_t>(bytes[i + 1]) : std::uint8_t{0};
        sum += static_cast<std::uint32_t>(high << 8 | low);
    }
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

int statusOfUnreachable(int code)
{
    switch (code) {
    case 0:  // network unreachable
    case 6:  // network unknown
    case 9:  // network administratively prohibited
    case 11: // network unreachable for the type of service
        return kDestNetUnreachable;
    case 1:  // host unreachable
    case 7:  // host unknown
    case 10: // host administratively prohibited
    case 12: // host unreachable for the type of service
        return kDestHostUnreachable;
    case 2:
        return kDestProtocolUnreachable;
    case 3:
        return kDestPortUnreachable;
    case 4: // would need fragmenting, but may not be
        return kPacketTooBig;
    default:
        return kGeneralFailure;
    }
}

int statusOfUnreachableV6(int code)
{
    switch (code) {
    case 0: // no route
    case 2: // beyond the scope of the source address
    case 6: // reject route
        return kDestNetUnreachable;
    case 1: // administratively prohibited
    case 3: // address unreachable
    case 5: // source address failed policy
        return kDestHostUnreachable;
    case 4:
        return kDestPortUnreachable;
    default:
        return kGeneralFailure;
    }
}

std::optional<int> statusOfErrorV6(int type, int code)
{
    switch (type) {
    case kDestUnreachableV6:
        return statusOfUnreachableV6(code);
    case kPacketTooBigV6:
        return kPacketTooBig;
    case kTimeExceededV6:
        return code == 1 ? kTtlExpiredReassembly : kTtlExpiredTransit;
    case kParameterProblemV6:
        return kParameterProblem;
    default:
        return std::nullopt;
    }
}

// The request an ICMPv6 error quotes after the IPv6 header of its packet.
std::optional<std::span<const std::uint8_t>> quotedAfterIpv6Header(std::span<const std::uint8_t> packet)
{
    if (packet.size() < kIpv6Header || (packet[0] >> 4) != 6 || packet[6] != kNextHeaderIcmpV6)
        return std::nullopt;
    return packet.subspan(kIpv6Header);
}

} // namespace

QByteArray echoRequest(std::uint16_t identifier, std::uint16_t sequence, const QByteArray &data, Family family)
{
    QByteArray packet(kHeaderSize, '\0');
    packet[0] = static_cast<char>(family == Family::IPv6 ? kEchoRequestV6 : kEchoRequest);
    packet[4] = static_cast<char>(identifier >> 8);
    packet[5] = static_cast<char>(identifier & 0xff);
    packet[6] = static_cast<char>(sequence >> 8);
    packet[7] = static_cast<char>(sequence & 0xff);
    packet.append(data);
    if (family == Family::IPv6)
        return packet;
    const std::uint16_t sum = checksum(packet);
    packet[2] = static_cast<char>(sum >> 8);
    packet[3] = static_cast<char>(sum & 0xff);
    return packet;
}

std::optional<int> statusOfError(int type, int code, Family family)
{
    if (family == Family::IPv6)
        return statusOfErrorV6(type, code);
    switch (type) {
    case kDestUnreachable:
        return statusOfUnreachable(code);
    case kSourceQuenchType:
        return kSourceQuench;
    case kTimeExceeded:
        return code == 1 ? kTtlExpiredReassembly : kTtlExpiredTransit;
    case kParameterProblemType:
        return kParameterProblem;
    default:
        return std::nullopt;
    }
}

int statusOfErrno(int errorNumber)
{
    switch (errorNumber) {
    case ENETUNREACH:
        return kDestNetUnreachable;
    case EHOSTUNREACH:
        return kDestHostUnreachable;
    case ENOBUFS:
        return kNoResources;
    case EMSGSIZE:
        return kPacketTooBig;
    default:
        return kGeneralFailure;
    }
}

std::optional<Answer> readMessage(std::span<const std::uint8_t> message, Family family)
{
    if (message.size() < kHeaderSize)
        return std::nullopt;
    const bool v6 = family == Family::IPv6;
    const std::uint8_t type = message[0];
    if (type == (v6 ? kEchoReplyV6 : kEchoReply))
        return Answer{read16(message, 4), read16(message, 6), kSuccess,
                      QByteArray(reinterpret_cast<const char *>(message.data() + kHeaderSize),
                                 static_cast<qsizetype>(message.size() - kHeaderSize))};
    const std::optional<int> status = statusOfError(type, message[1], family);
    if (!status)
        return std::nullopt;
    // The error quotes the request's IP header and at least its first eight bytes.
    std::optional<std::span<const std::uint8_t>> request;
    if (v6) {
        request = quotedAfterIpv6Header(message.subspan(kHeaderSize));
    } else if (const auto quoted = stripIpHeader(message.subspan(kHeaderSize))) {
        request = quoted->payload;
    }
    if (!request || request->size() < kHeaderSize || (*request)[0] != (v6 ? kEchoRequestV6 : kEchoRequest))
        return std::nullopt;
    return Answer{read16(*request, 4), read16(*request, 6), *status, {}};
}

std::optional<IpPayload> stripIpHeader(std::span<const std::uint8_t> packet)
{
    if (packet.size() < kMinIpHeader || (packet[0] >> 4) != 4)
        return std::nullopt;
    const std::size_t headerSize = static_cast<std::size_t>(packet[0] & 0x0f) * 4;
    if (headerSize < kMinIpHeader || headerSize > packet.size())
        return std::nullopt;
    return IpPayload{packet[8], packet.subspan(headerSize)};
}

} // namespace pvx::platform::icmp
