#pragma once

#include "platform/result.h"
#include "platform/serial_port.h"
#include "session/line_choices.h"

#include <optional>

namespace pvx::session {

/// The serial line as a remote peer controls it: the choices it runs with,
/// its control and modem lines, and what waits on its way from and to it.
/// Calls happen on the event-loop thread and raise no events.
class SerialLine {
public:
    virtual ~SerialLine() = default;

    /// The line as chosen now.
    virtual LineChoices choices() const = 0;
    /// Makes `wanted` the choices; a value that is not offered leaves its
    /// choice as it is. An open device takes new choices at once, all or
    /// none: when it refuses, the choices go back to what they were and the
    /// error says why.
    virtual platform::Result<void> choose(const LineChoices &wanted) = 0;
    /// The settings this side stands for: the choices, and on a virtual port
    /// the baud rate, stop bits and flow control its program changed since
    /// the line was taken up.
    virtual platform::SerialSettings settings() const = 0;

    /// A program on a virtual port sets the line, and programLine() tells how.
    virtual bool programSetsLine() const = 0;
    /// The line the program on the virtual port set last; nothing for a
    /// device. A system call each time.
    virtual std::optional<platform::SerialSettings> programLine() const = 0;

    /// A control line as last set: DTR and RTS start raised, BREAK off.
    virtual bool controlLine(platform::ControlLine line) const = 0;
    /// Sets a control line; a line without them only remembers it.
    virtual void setControlLine(platform::ControlLine line, bool on) = 0;

    /// Throws away what waits on its way from the line (`input`) and to it
    /// (`output`), in the device and on the way through the bridge.
    virtual void purge(bool input, bool output) = 0;

    /// modemLines() may find some: an open device not yet found without them.
    virtual bool mayHaveModemLines() const = 0;
    /// The modem lines now; all off where there are none. A device found
    /// without them is asked no more.
    virtual platform::ModemLines modemLines() = 0;
};

} // namespace pvx::session
