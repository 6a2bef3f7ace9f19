#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <span>

namespace pvx::platform::icmp {

/// IP status codes an echo reports (0 is success).
constexpr int kSuccess = 0;
constexpr int kDestNetUnreachable = 11002;
constexpr int kDestHostUnreachable = 11003;
constexpr int kDestProtocolUnreachable = 11004;
constexpr int kDestPortUnreachable = 11005;
constexpr int kNoResources = 11006;
constexpr int kPacketTooBig = 11009;
constexpr int kRequestTimedOut = 11010;
constexpr int kTtlExpiredTransit = 11013;
constexpr int kTtlExpiredReassembly = 11014;
constexpr int kParameterProblem = 11015;
constexpr int kSourceQuench = 11016;
constexpr int kGeneralFailure = 11050;

/// Which IP the messages travel over: ICMP for IPv4, ICMPv6 for IPv6.
enum class Family {
    IPv4,
    IPv6,
};

/// An echo request: type 8 (ICMPv6: 128), code 0, the checksum, `identifier`,
/// `sequence` and `data`, as it goes on the wire after the IP header. An
/// ICMPv6 request leaves the checksum 0: it covers the addresses, and the
/// kernel fills it in.
QByteArray echoRequest(std::uint16_t identifier, std::uint16_t sequence, const QByteArray &data,
                       Family family = Family::IPv4);

/// The status an ICMP error message of `type` and `code` stands for, or
/// nothing when the type reports no failure of a request.
std::optional<int> statusOfError(int type, int code, Family family = Family::IPv4);
/// The status of a send that failed with `errorNumber`.
int statusOfErrno(int errorNumber);

/// What an ICMP message says about one of our requests.
struct Answer {
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
    /// 0 for an echo reply, else the error's status.
    int status = kSuccess;
    /// An echo reply's data.
    QByteArray data;
};

/// Reads an ICMP message (from its ICMP header on): an echo reply, or an
/// error that quotes an echo request (its IP header and the request's first
/// eight bytes; ICMPv6: its IPv6 header). Anything else (a request, a
/// redirect, a cut message) gives nothing.
std::optional<Answer> readMessage(std::span<const std::uint8_t> message, Family family = Family::IPv4);

/// An IPv4 packet's time to live and its payload; nothing when the header is
/// cut or malformed.
struct IpPayload {
    int ttl = 0;
    std::span<const std::uint8_t> payload;
};
std::optional<IpPayload> stripIpHeader(std::span<const std::uint8_t> packet);

} // namespace pvx::platform::icmp
