#include "session/window_serial_line.h"

#include "session/session_window.h"

namespace pvx::session {

WindowSerialLine::WindowSerialLine(SessionWindow &window, platform::SerialPort &device,
                                   platform::VirtualPort &virtualPort, Buffers buffers, std::function<void()> changed)
    : m_window(window), m_device(device), m_virtualPort(virtualPort), m_buffers(buffers), m_changed(std::move(changed)),
      m_programLineAtStart(programLine())
{
}

LineChoices WindowSerialLine::choices() const
{
    return lineChoices(m_window);
}

platform::Result<void> WindowSerialLine::choose(const LineChoices &wanted)
{
    const LinePositions before = linePositions(m_window);
    if (!selectLineChoices(m_window, wanted))
        return {};
    // A virtual port, or a closed device, takes the lists when it opens.
    if (!m_device.isOpen() || m_window.usesVirtualPort()) {
        noteChange();
        return {};
    }
    const auto settings = lineSettings(m_window);
    auto applied = settings ? m_device.applySettings(*settings) : platform::Result<void>(settings.error());
    // A refused change leaves the device as it was; the lists say so too.
    if (!applied)
        selectLinePositions(m_window, before);
    else
        noteChange();
    return applied;
}

void WindowSerialLine::noteChange() const
{
    if (m_changed)
        m_changed();
}

platform::SerialSettings WindowSerialLine::settings() const
{
    const auto chosen = lineSettings(m_window);
    platform::SerialSettings line = chosen ? *chosen : platform::SerialSettings{};
    // What the program on the virtual port changed overrides the lists.
    if (const auto now = programLine(); now && m_programLineAtStart) {
        const platform::SerialSettings &start = *m_programLineAtStart;
        if (now->baudRate != start.baudRate)
            line.baudRate = now->baudRate;
        if (now->stopBits != start.stopBits)
            line.stopBits = now->stopBits;
        if (now->handshaking != start.handshaking)
            line.handshaking = now->handshaking;
    }
    return line;
}

bool WindowSerialLine::programSetsLine() const
{
    return m_window.usesVirtualPort();
}

std::optional<platform::SerialSettings> WindowSerialLine::programLine() const
{
    return programSetsLine() ? m_virtualPort.lineSettings() : std::nullopt;
}

bool WindowSerialLine::controlLine(platform::ControlLine line) const
{
    return m_controlLines.at(static_cast<std::size_t>(line));
}

void WindowSerialLine::setControlLine(platform::ControlLine line, bool on)
{
    m_controlLines.at(static_cast<std::size_t>(line)) = on;
    // A device without modem lines (a pseudo-terminal) refuses; it is
    // remembered all the same.
    if (!m_window.usesVirtualPort())
        (void)m_device.setControlLine(line, on);
}

void WindowSerialLine::purge(bool input, bool output)
{
    const bool virtualPort = m_window.usesVirtualPort();
    if (input) {
        if (virtualPort && m_virtualPort.exists())
            m_virtualPort.discardInput();
        else if (!virtualPort && m_device.isOpen())
            m_device.discardInput();
        m_buffers.toNetwork.clear();
    }
    if (output) {
        if (!virtualPort)
            m_device.discardOutput();
        m_buffers.toSerial.clear();
    }
}

bool WindowSerialLine::mayHaveModemLines() const
{
    return m_deviceHasModemLines && !m_window.usesVirtualPort() && m_device.isOpen();
}

platform::ModemLines WindowSerialLine::modemLines()
{
    if (!mayHaveModemLines())
        return {};
    const auto lines = m_device.modemLines();
    // A device without modem lines is asked no more this activation.
    if (!lines)
        m_deviceHasModemLines = false;
    return lines.value_or(platform::ModemLines{});
}

} // namespace pvx::session
