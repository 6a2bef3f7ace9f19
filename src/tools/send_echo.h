#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

namespace pvx::platform {
class IcmpEcho;
}

namespace pvx::tools {

/// The reply record of one echo, every field zero where nothing was written.
struct EchoReply {
    /// The answering address's four bytes read as one little-endian number:
    /// 127.0.0.1 is 16777343.
    std::int32_t Address = 0;
    std::int32_t Status = 0;
    /// Milliseconds.
    std::uint32_t RoundTripTime = 0;
    /// Echoed data bytes.
    std::uint32_t DataSize = 0;
    std::uint8_t Ttl = 0;
    /// The echoed data as far as the reply's data area holds it.
    QByteArray Data;
    /// Why the echo could not be sent at all (Status 11050); empty when it
    /// was sent.
    QString Failure;
};

using EchoDone = std::function<void(const EchoReply &)>;

/// The most data bytes an echo carries; more gives 11001 without sending.
constexpr int kMaxEchoData = 242;
/// The reply's data area, in bytes.
constexpr int kEchoDataArea = 250;

/// The echo time-out for the global `PingTimeout` list position: (position
/// + 1) × 100 ms; 500 ms for no position (-1 or below), at most 60 s.
int echoTimeoutMs(int pingTimeout);

/// Sends one echo carrying `data` to the dotted IPv4 `address`, waiting
/// echoTimeoutMs(`pingTimeout`) for the answer. Returns the request's id for
/// IcmpEcho::cancel(). When the outcome is known without sending (status -1
/// for an address that does not convert, host names included; 11001 for
/// data over kMaxEchoData bytes), `done` has run before this returns and the
/// result is 0; otherwise it runs once, later, unless the request is
/// cancelled.
int sendEcho(platform::IcmpEcho &echo, const QString &address, const QByteArray &data, int pingTimeout,
             EchoDone done);

/// One ping with the data "Hello", as the link watch sends it; see sendEcho.
/// A non-zero Status is a failed ping, unless Failure says this machine
/// cannot send pings at all.
int pingAddress(platform::IcmpEcho &echo, const QString &address, int pingTimeout, EchoDone done);

} // namespace pvx::tools
