#pragma once

#include "platform/serial_port.h"
#include "platform/virtual_port.h"
#include "session/serial_line.h"
#include "session/transfer_buffer.h"

#include <array>
#include <functional>

namespace pvx::session {

class SessionWindow;

/// A session's serial line as a remote peer controls it: the window's lists
/// hold the choices, the open device (or the virtual port, which has no line
/// of its own) carries them, and the two transfer buffers hold what is on
/// its way. Made for one activation: what it remembers of the control lines
/// and the program's line starts there.
class WindowSerialLine : public SerialLine {
public:
    struct Buffers {
        /// Serial data on its way to the network.
        TransferBuffer &toNetwork;
        /// Network data on its way to the serial side.
        TransferBuffer &toSerial;
    };

    /// `changed` hears of every change a peer's choice made to the lists.
    WindowSerialLine(SessionWindow &window, platform::SerialPort &device, platform::VirtualPort &virtualPort,
                     Buffers buffers, std::function<void()> changed = {});

    LineChoices choices() const override;
    platform::Result<void> choose(const LineChoices &wanted) override;
    platform::SerialSettings settings() const override;
    bool programSetsLine() const override;
    std::optional<platform::SerialSettings> programLine() const override;
    bool controlLine(platform::ControlLine line) const override;
    void setControlLine(platform::ControlLine line, bool on) override;
    void purge(bool input, bool output) override;
    bool mayHaveModemLines() const override;
    platform::ModemLines modemLines() override;

private:
    void noteChange() const;

    SessionWindow &m_window;
    platform::SerialPort &m_device;
    platform::VirtualPort &m_virtualPort;
    Buffers m_buffers;
    std::function<void()> m_changed;
    /// DTR, RTS and BREAK, by platform::ControlLine.
    std::array<bool, 3> m_controlLines{true, true, false};
    bool m_deviceHasModemLines = true;
    /// What the program on the virtual port had set when the line was taken up.
    std::optional<platform::SerialSettings> m_programLineAtStart;
};

} // namespace pvx::session
