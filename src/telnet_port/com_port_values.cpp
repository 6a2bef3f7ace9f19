#include "telnet_port/com_port_values.h"

#include <array>

namespace pvx::telnet_port {

namespace {

using platform::Parity;
using platform::StopBits;

// Wire codes 1 to 5, in order.
constexpr std::array kParities{Parity::None, Parity::Odd, Parity::Even, Parity::Mark, Parity::Space};
// Wire codes 1 to 3, in order.
constexpr std::array kStopBits{StopBits::One, StopBits::Two, StopBits::OneAndHalf};

template <typename Value, std::size_t N>
std::optional<Value> fromCode(const std::array<Value, N> &values, quint32 code)
{
    if (code < 1 || code > N)
        return std::nullopt;
    return values[code - 1];
}

template <typename Value, std::size_t N>
quint8 toCode(const std::array<Value, N> &values, Value value)
{
    quint8 code = 1;
    for (const Value candidate : values) {
        if (candidate == value)
            return code;
        ++code;
    }
    return 0;
}

constexpr quint8 kDeltaCts = 0x01;
constexpr quint8 kDeltaDsr = 0x02;
constexpr quint8 kRiTrailingEdge = 0x04;
constexpr quint8 kDeltaCd = 0x08;
constexpr quint8 kCts = 0x10;
constexpr quint8 kDsr = 0x20;
constexpr quint8 kRi = 0x40;
constexpr quint8 kCd = 0x80;

} // namespace

bool isQuery(const ComPortMessage &message)
{
    switch (message.command) {
    case ComPortCommand::SetBaudRate:
    case ComPortCommand::SetDataSize:
    case ComPortCommand::SetParity:
    case ComPortCommand::SetStopSize:
        return message.value == 0;
    case ComPortCommand::SetControl:
        switch (message.value) {
        case static_cast<quint32>(Control::QueryFlow):
        case static_cast<quint32>(Control::QueryBreak):
        case static_cast<quint32>(Control::QueryDtr):
        case static_cast<quint32>(Control::QueryRts):
        case static_cast<quint32>(Control::QueryInboundFlow):
            return true;
        default:
            return false;
        }
    default:
        return false;
    }
}

std::optional<Parity> parityFromCode(quint32 code)
{
    return fromCode(kParities, code);
}

quint8 parityCode(Parity parity)
{
    return toCode(kParities, parity);
}

std::optional<StopBits> stopBitsFromCode(quint32 code)
{
    return fromCode(kStopBits, code);
}

quint8 stopBitsCode(StopBits stopBits)
{
    return toCode(kStopBits, stopBits);
}

std::optional<platform::Handshaking> handshakingFromControl(quint32 control)
{
    switch (control) {
    case static_cast<quint32>(Control::FlowNone):
        return platform::Handshaking::None;
    case static_cast<quint32>(Control::FlowXonXoff):
        return platform::Handshaking::XonXoff;
    case static_cast<quint32>(Control::FlowHardware):
        return platform::Handshaking::RtsCts;
    default:
        return std::nullopt;
    }
}

Control controlFor(platform::Handshaking handshaking)
{
    switch (handshaking) {
    case platform::Handshaking::XonXoff:
        return Control::FlowXonXoff;
    case platform::Handshaking::RtsCts:
        return Control::FlowHardware;
    case platform::Handshaking::None:
        break;
    }
    return Control::FlowNone;
}

quint8 modemStateCode(ModemLines now, ModemLines before)
{
    quint8 code = 0;
    const auto set = [&code](bool on, quint8 bit) {
        if (on)
            code |= bit;
    };
    set(now.cts, kCts);
    set(now.dsr, kDsr);
    set(now.ri, kRi);
    set(now.cd, kCd);
    set(now.cts != before.cts, kDeltaCts);
    set(now.dsr != before.dsr, kDeltaDsr);
    set(before.ri && !now.ri, kRiTrailingEdge);
    set(now.cd != before.cd, kDeltaCd);
    return code;
}

ModemLines modemLinesFromCode(quint8 code)
{
    return {(code & kCts) != 0, (code & kDsr) != 0, (code & kRi) != 0, (code & kCd) != 0};
}

} // namespace pvx::telnet_port
