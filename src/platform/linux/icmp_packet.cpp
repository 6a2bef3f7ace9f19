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
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kMinIpHeader = 20;

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

} // namespace

QByteArray echoRequest(std::uint16_t identifier, std::uint16_t sequence, const QByteArray &data)
{
    QByteArray packet(kHeaderSize, '\0');
    packet[0] = static_cast<char>(kEchoRequest);
    packet[4] = static_cast<char>(identifier >> 8);
    packet[5] = static_cast<char>(identifier & 0xff);
    packet[6] = static_cast<char>(sequence >> 8);
    packet[7] = static_cast<char>(sequence & 0xff);
    packet.append(data);
    const std::uint16_t sum = checksum(packet);
    packet[2] = static_cast<char>(sum >> 8);
    packet[3] = static_cast<char>(sum & 0xff);
    return packet;
}

std::optional<int> statusOfError(int type, int code)
{
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

std::optional<Answer> readMessage(std::span<const std::uint8_t> message)
{
    if (message.size() < kHeaderSize)
        return std::nullopt;
    const std::uint8_t type = message[0];
    if (type == kEchoReply)
        return Answer{read16(message, 4), read16(message, 6), kSuccess,
                      QByteArray(reinterpret_cast<const char *>(message.data() + kHeaderSize),
                                 static_cast<qsizetype>(message.size() - kHeaderSize))};
    const std::optional<int> status = statusOfError(type, message[1]);
    if (!status)
        return std::nullopt;
    // The error quotes the request's IP header and its first eight bytes.
    const auto quoted = stripIpHeader(message.subspan(kHeaderSize));
    if (!quoted || quoted->payload.size() < kHeaderSize || quoted->payload[0] != kEchoRequest)
        return std::nullopt;
    return Answer{read16(quoted->payload, 4), read16(quoted->payload, 6), *status, {}};
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
