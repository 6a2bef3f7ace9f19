// The real device: opening it with the window's settings, reading and
// writing within the driver's buffer, and applying new settings while open.
#include "session/device_side.h"

#include "core/port_map.h"
#include "platform/serial_port.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"
#include "session/flow_limits.h"
#include "session/line_choices.h"
#include "session/serial_settings_text.h"
#include "session/session_lists.h"
#include "session/side_status.h"
#include "session/traffic_tap.h"
#include "session/transfer_buffer.h"

#include <algorithm>

namespace pvx::session {

using resources::StringId;

DeviceSide::DeviceSide(Devices devices, Context context)
    : m_devices(devices), m_context(std::move(context)), m_return(devices.watch)
{
    m_devices.port.setEvents({
        .readyRead = [this] { m_context.events.arrived(); },
        .bytesWritten = [this](qint64) { m_context.events.writable(); },
        .failed = [this](const platform::Error &error) { onFailed(error); },
    });
}

QString DeviceSide::path() const
{
    return m_devices.ports.deviceFor(m_connector);
}

bool DeviceSide::open(int connector)
{
    m_connector = connector;
    closePort();
    const QString device = path();
    if (device.isEmpty())
        return fail(connectorName(connector) + QStringLiteral(": no such serial port"));
    const auto settings = lineSettings(m_context.window);
    if (!settings)
        return fail(settings.error().detail);
    // Watched before the open, so that a device that turns up just after a
    // failed open is not missed.
    watchPath();
    if (const auto opened = m_devices.port.open(device, *settings); !opened)
        return waitForDevice(opened.error()) || fail(opened.error().detail);

    const SideStatus &status = m_context.status;
    if (!m_devices.port.isOpen()) {
        m_return.stop();
        status.showState(status.text(StringId::PortNotAvailable));
        return false;
    }
    status.showState(status.text(StringId::Open), device);
    return true;
}

bool DeviceSide::fail(const QString &description)
{
    m_return.stop();
    closePort();
    const SideStatus &status = m_context.status;
    status.showState(status.text(StringId::ErrorPrefix) + QLatin1Char(' ') + description);
    return false;
}

bool DeviceSide::close()
{
    m_return.stop();
    closePort();
    m_context.status.showState(m_context.status.text(StringId::Closed));
    return true;
}

void DeviceSide::closePort()
{
    if (m_devices.port.isOpen())
        m_devices.port.close();
}

bool DeviceSide::isOpen() const
{
    return m_devices.port.isOpen();
}

qint64 DeviceSide::bytesAvailable() const
{
    return m_devices.port.bytesAvailable();
}

qint32 DeviceSide::readInto(TransferBuffer &queue)
{
    const qint64 wanted = std::min<qint64>(m_devices.port.bytesAvailable(), queue.freeSpace());
    if (wanted <= 0)
        return 0;
    const QByteArray bytes = m_devices.port.read(wanted);
    m_context.tap.serialIn(bytes);
    return queue.append(bytes);
}

void DeviceSide::discardInput()
{
    m_devices.port.discardInput();
}

qint32 DeviceSide::writeFrom(TransferBuffer &buffer)
{
    // A closed port keeps the bytes; an open one gets what its driver
    // buffer has room for.
    if (!m_devices.port.isOpen() || buffer.count() == 0)
        return 0;
    const qint64 room = kDriverBufferSize - m_devices.port.bytesToWrite();
    if (room <= 0)
        return 0;
    // Not copied: the port copies what it keeps before the buffer changes.
    const QByteArrayView front = buffer.front(static_cast<qint32>(std::min<qint64>(room, buffer.count())));
    const qint64 taken = m_devices.port.write(QByteArray::fromRawData(front.data(), front.size()));
    if (taken <= 0)
        return 0;
    m_context.tap.serialOut(front.first(taken));
    buffer.drop(static_cast<qint32>(taken));
    return static_cast<qint32>(taken);
}

bool DeviceSide::applyLineSettings()
{
    if (!m_devices.port.isOpen())
        return true;
    const auto settings = lineSettings(m_context.window);
    const auto applied =
        settings ? m_devices.port.applySettings(*settings) : platform::Result<void>(settings.error());
    if (!applied)
        m_context.log(QStringLiteral("Serial settings %1 not applied: %2")
                          .arg(settingsString(m_context.window), applied.error().detail));
    return applied.ok();
}

void DeviceSide::onFailed(const platform::Error &error)
{
    // The port is closed already; what the network sends meanwhile stays
    // queued, as for any closed port, until the device comes back.
    const SideStatus &status = m_context.status;
    status.showState(status.text(StringId::ErrorPrefix) + QLatin1Char(' ') + error.detail);
    retryAfterFailure();
}

} // namespace pvx::session
