// A real device that fails while its session is active is opened again as
// soon as it comes back at its path: an adapter unplugged and plugged in
// again, a device that a program makes anew. The watch on the path gives
// hints; each hint tries the device once, so a device that flaps costs one
// open per event, and one that never comes back costs nothing. What the
// network sent meanwhile waited in SerialOutBuffer and goes first. A device
// missing or in use at activation is waited for the same way.
#include "session/session.h"

#include "core/port_map.h"
#include "session/line_choices.h"

namespace pvx::session {

namespace {

constexpr int kSerial = 0;
constexpr int kWaitingForDevice = 5132;

} // namespace

void Session::watchDevicePath()
{
    const QString device = m_services.ports.deviceFor(ComPortNumber);
    // A pseudo-terminal's number goes to the next one any program makes:
    // what appears there later is not this device, and opening it would
    // take another program's terminal. Through a link of its own (as the
    // programs that make terminals for others offer) it is followed.
    if (device.startsWith(QLatin1String("/dev/pts/")))
        return;
    if (const auto watching = m_deviceReturn.start(device, [this] { onDevicePathChanged(); }); !watching)
        logError(QStringLiteral("The device will not be reopened by itself: ") + watching.error().detail);
}

bool Session::waitForDevice(const QString &device, const platform::Error &refusal)
{
    // An adapter not plugged in yet, a node the system has not made yet, a
    // device another program has: each may turn up, and the watch sees it.
    const bool mayTurnUp = refusal.code == platform::ErrorCode::NotFound || refusal.code == platform::ErrorCode::Busy;
    if (!mayTurnUp || !m_deviceReturn.watching())
        return false;
    (void)m_deviceReturn.refused(refusal);
    setStatus(kSerial, statusText(kSerial, text(kWaitingForDevice).arg(device)), refusal.detail);
    return true;
}

void Session::onDevicePathChanged()
{
    if (serialPort().isOpen()) {
        m_deviceReturn.noteHintWhileOpen();
        return;
    }
    reopenDevice();
}

void Session::retryAfterDeviceFailure()
{
    // The device may have gone and come back before the port noticed it
    // had gone; the hint that said so came while the port was open. Without
    // such a hint nothing is tried, so a device that fails as soon as it is
    // opened waits for the next change at its path.
    if (m_deviceReturn.watching() && m_deviceReturn.takeHintWhileOpen())
        reopenDevice();
}

void Session::reopenDevice()
{
    const QString device = m_services.ports.deviceFor(ComPortNumber);
    const auto settings = lineSettings(m_window);
    platform::Result<void> opened = settings ? serialPort().reopen(device, *settings) : settings.error();
    if (opened && !serialPort().isOpen())
        opened = platform::makeError(platform::ErrorCode::IoError, text(5095));
    if (!opened) {
        // Nothing there yet is the normal wait. Something else at the path
        // (a file, a folder, another kind of device, a device that refuses
        // the settings or is in use) is worth one line.
        const platform::Error &error = opened.error();
        if (m_deviceReturn.refused(error) && error.code != platform::ErrorCode::NotFound)
            logError(QStringLiteral("The device was not reopened: ") + error.detail);
        return;
    }
    m_deviceReturn.reopened();
    logError(QStringLiteral("The device %1 came back").arg(device));
    setStatus(kSerial, statusText(kSerial, text(5096)), device);
    moveNetworkToSerial();
}

} // namespace pvx::session
