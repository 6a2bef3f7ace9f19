// A real device that fails while its session is active is opened again as
// soon as it comes back at its path: an adapter unplugged and plugged in
// again, a device that a program makes anew. The watch on the path gives
// hints; each hint tries the device once, so a device that flaps costs one
// open per event, and one that never comes back costs nothing. What the
// network sent meanwhile waited for it and goes first. A device missing or
// in use at activation is waited for the same way.
#include "session/device_side.h"

#include "platform/serial_port.h"
#include "resources/string_ids.h"
#include "session/line_choices.h"
#include "session/side_status.h"

namespace pvx::session {

using resources::StringId;

void DeviceSide::watchPath()
{
    const QString device = path();
    // A pseudo-terminal's number goes to the next one any program makes:
    // what appears there later is not this device, and opening it would
    // take another program's terminal. Through a link of its own (as the
    // programs that make terminals for others offer) it is followed.
    if (device.startsWith(QLatin1String("/dev/pts/")))
        return;
    if (const auto watching = m_return.start(device, [this] { onPathChanged(); }); !watching)
        m_context.log(QStringLiteral("The device will not be reopened by itself: ") + watching.error().detail);
}

bool DeviceSide::waitForDevice(const platform::Error &refusal)
{
    // An adapter not plugged in yet, a node the system has not made yet, a
    // device another program has: each may turn up, and the watch sees it.
    const bool mayTurnUp = refusal.code == platform::ErrorCode::NotFound || refusal.code == platform::ErrorCode::Busy;
    if (!mayTurnUp || !m_return.watching())
        return false;
    (void)m_return.refused(refusal);
    const SideStatus &status = m_context.status;
    status.showState(status.text(StringId::WaitingForDevice).arg(path()), refusal.detail);
    return true;
}

void DeviceSide::onPathChanged()
{
    if (m_devices.port.isOpen()) {
        m_return.noteHintWhileOpen();
        return;
    }
    reopen();
}

void DeviceSide::retryAfterFailure()
{
    // The device may have gone and come back before the port noticed it
    // had gone; the hint that said so came while the port was open. Without
    // such a hint nothing is tried, so a device that fails as soon as it is
    // opened waits for the next change at its path.
    if (m_return.watching() && m_return.takeHintWhileOpen())
        reopen();
}

void DeviceSide::reopen()
{
    const QString device = path();
    const SideStatus &status = m_context.status;
    const auto settings = lineSettings(m_context.window);
    platform::Result<void> opened = settings ? m_devices.port.reopen(device, *settings) : settings.error();
    if (opened && !m_devices.port.isOpen())
        opened = platform::makeError(platform::ErrorCode::IoError, status.text(StringId::PortNotAvailable));
    if (!opened) {
        // Nothing there yet is the normal wait. Something else at the path
        // (a file, a folder, another kind of device, a device that refuses
        // the settings or is in use) is worth one line.
        const platform::Error &error = opened.error();
        if (m_return.refused(error) && error.code != platform::ErrorCode::NotFound)
            m_context.log(QStringLiteral("The device was not reopened: ") + error.detail);
        return;
    }
    m_return.reopened();
    m_context.log(QStringLiteral("The device %1 came back").arg(device));
    status.showState(status.text(StringId::Open), device);
    m_context.events.reopened();
}

} // namespace pvx::session
