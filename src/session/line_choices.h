#pragma once

#include "platform/result.h"
#include "platform/serial_port.h"
#include "session/session_choices.h"

#include <array>

namespace pvx::session {

class SessionWindow;

/// The serial line as a session's lists choose it. A list without a choice
/// reads as 0 (baud rate, data bits) or as its first entry.
struct LineChoices {
    qint32 baudRate = 0;
    platform::Parity parity = platform::Parity::None;
    int dataBits = 0;
    platform::StopBits stopBits = platform::StopBits::One;
    FlowControl flowControl = FlowControl::None;

    friend bool operator==(const LineChoices &, const LineChoices &) = default;
};

/// The handshaking a flow-control choice runs the line with.
platform::Handshaking handshakingOf(FlowControl flowControl);

/// The window's line choices as they stand.
LineChoices lineChoices(const SessionWindow &window);
/// Selects each choice of `choices` that differs from the window's and that
/// its list offers; the others keep theirs. True when a list changed.
bool selectLineChoices(SessionWindow &window, const LineChoices &choices);

/// The settings a real device is opened with: the window's choices, with
/// its flow control and the driver's buffer size. A list without a choice
/// is an error that names it ("Invalid baud rate ...").
platform::Result<platform::SerialSettings> lineSettings(const SessionWindow &window);

/// The selected positions of the five line lists, to put back what a
/// refusal undoes.
using LinePositions = std::array<int, 5>;
LinePositions linePositions(const SessionWindow &window);
void selectLinePositions(SessionWindow &window, const LinePositions &positions);

} // namespace pvx::session
