#pragma once

#include "telnet_port/telnet_codes.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace pvx::telnet_port {

/// The commands of COM-PORT-OPTION, by the code a client sends; a server
/// sends the same command as code + kServerOffset.
enum class ComPortCommand : quint8 {
    Signature = 0,
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    NotifyLineState = 6,
    NotifyModemState = 7,
    FlowControlSuspend = 8,
    FlowControlResume = 9,
    SetLineStateMask = 10,
    SetModemStateMask = 11,
    PurgeData = 12,
};

inline constexpr quint8 kServerOffset = 100;

/// One COM-PORT-OPTION message, whichever side sent it: from a client a
/// request, from a server the answer (the value in effect) or a notification.
struct ComPortMessage {
    ComPortCommand command = ComPortCommand::Signature;
    /// SET-BAUDRATE: the rate in bit/s, any 32-bit number; the commands with
    /// a one-byte value: that byte (0–255); otherwise 0.
    quint32 value = 0;
    /// SIGNATURE only: the text; empty asks the peer for its own.
    QByteArray text;

    friend bool operator==(const ComPortMessage &, const ComPortMessage &) = default;
};

/// The wire bytes of `message` sent by `sender`: IAC SB COM-PORT-OPTION, the
/// code, the value (the rate as four bytes, most significant first) with
/// every 0xFF doubled, IAC SE.
QByteArray encodeComPort(const ComPortMessage &message, Role sender);

/// The message in a COM-PORT-OPTION subnegotiation `body` (after the option
/// byte, 0xFF already single) as `receiver` gets it from its peer: nothing when
/// the code is unknown or comes from the wrong end, or when the value is not
/// of the command's length. A client's NOTIFY-MODEMSTATE without a value is a
/// poll for the modem state and comes out with value 0.
std::optional<ComPortMessage> decodeComPort(QByteArrayView body, Role receiver);

} // namespace pvx::telnet_port
