#include "tools/send_echo.h"

#include "platform/icmp_echo.h"
#include "tools/dotted_address.h"
#include "tools/echo_status.h"

#include <algorithm>

namespace pvx::tools {

namespace {

constexpr std::int64_t kDefaultTimeoutMs = 500;
constexpr std::int64_t kLongestTimeoutMs = 60'000;

EchoReply fromPlatform(const platform::EchoReply &answer)
{
    EchoReply reply;
    reply.Status = answer.status;
    if (const auto bytes = dottedTextToBytes(answer.address)) {
        reply.Address = static_cast<std::int32_t>(static_cast<std::uint32_t>((*bytes)[0])
                                                  | static_cast<std::uint32_t>((*bytes)[1]) << 8
                                                  | static_cast<std::uint32_t>((*bytes)[2]) << 16
                                                  | static_cast<std::uint32_t>((*bytes)[3]) << 24);
    }
    reply.RoundTripTime = static_cast<std::uint32_t>(std::max(answer.roundTripMs, 0));
    reply.DataSize = static_cast<std::uint32_t>(answer.data.size());
    reply.Ttl = static_cast<std::uint8_t>(std::clamp(answer.ttl, 0, 255));
    reply.Data = answer.data.left(kEchoDataArea);
    reply.Failure = answer.failure;
    return reply;
}

} // namespace

int echoTimeoutMs(int pingTimeout)
{
    const std::int64_t timeout = (static_cast<std::int64_t>(pingTimeout) + 1) * 100;
    return static_cast<int>(timeout <= 0 ? kDefaultTimeoutMs : std::min(timeout, kLongestTimeoutMs));
}

int sendEcho(platform::IcmpEcho &echo, const QString &address, const QByteArray &data, int pingTimeout,
             EchoDone done)
{
    const auto bytes = dottedTextToBytes(address);
    if (!bytes) {
        EchoReply reply;
        reply.Status = kStatusBadAddress;
        done(reply);
        return 0;
    }
    if (data.size() > kMaxEchoData) {
        EchoReply reply;
        reply.Status = kStatusBufferTooSmall;
        done(reply);
        return 0;
    }
    return echo.send(addressBytesToText(*bytes), data, echoTimeoutMs(pingTimeout),
                     [done = std::move(done)](const platform::EchoReply &answer) { done(fromPlatform(answer)); });
}

int pingAddress(platform::IcmpEcho &echo, const QString &address, int pingTimeout, EchoDone done)
{
    return sendEcho(echo, address, QByteArrayLiteral("Hello"), pingTimeout, std::move(done));
}

} // namespace pvx::tools
