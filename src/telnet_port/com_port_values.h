#pragma once

#include "platform/serial_port.h"
#include "telnet_port/com_port_message.h"

#include <optional>

namespace pvx::telnet_port {

/// The values of SET-CONTROL. "Flow" alone is outbound flow control (or
/// both directions); the Query values ask for the state in effect.
enum class Control : quint8 {
    QueryFlow = 0,
    FlowNone = 1,
    FlowXonXoff = 2,
    FlowHardware = 3,
    QueryBreak = 4,
    BreakOn = 5,
    BreakOff = 6,
    QueryDtr = 7,
    DtrOn = 8,
    DtrOff = 9,
    QueryRts = 10,
    RtsOn = 11,
    RtsOff = 12,
    QueryInboundFlow = 13,
    InboundFlowNone = 14,
    InboundFlowXonXoff = 15,
    InboundFlowHardware = 16,
    FlowDcd = 17,
    InboundFlowDtr = 18,
    FlowDsr = 19,
};

/// The values of PURGE-DATA, seen from the server: its input from the device
/// and its output to the device.
enum class Purge : quint8 {
    Input = 1,
    Output = 2,
    Both = 3,
};

/// Whether `message` asks for a setting instead of changing it: value 0 of
/// SET-BAUDRATE, -DATASIZE, -PARITY and -STOPSIZE, and the Query controls.
bool isQuery(const ComPortMessage &message);

/// SET-PARITY values 1 none, 2 odd, 3 even, 4 mark, 5 space; nothing for
/// any other value (0 is a query).
std::optional<platform::Parity> parityFromCode(quint32 code);
quint8 parityCode(platform::Parity parity);

/// SET-STOPSIZE values 1 = one, 2 = two, 3 = one and a half.
std::optional<platform::StopBits> stopBitsFromCode(quint32 code);
quint8 stopBitsCode(platform::StopBits stopBits);

/// The outbound flow control controls FlowNone, FlowXonXoff, FlowHardware;
/// nothing for any other control.
std::optional<platform::Handshaking> handshakingFromControl(quint32 control);
Control controlFor(platform::Handshaking handshaking);

/// The modem lines a NOTIFY-MODEMSTATE reports: those of a device.
using ModemLines = platform::ModemLines;

/// The NOTIFY-MODEMSTATE value: the lines `now` in bits 4 (CTS) to 7 (CD),
/// and in bits 0 to 3 which changed since `before` (bit 2: RI went off).
quint8 modemStateCode(ModemLines now, ModemLines before);
ModemLines modemLinesFromCode(quint8 code);

} // namespace pvx::telnet_port
