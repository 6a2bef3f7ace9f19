// The virtual port: made at activation under the connector's name, removed
// at deactivation, written to only while a program holds it open.
#include "session/virtual_port_side.h"

#include "platform/virtual_port.h"
#include "resources/string_ids.h"
#include "session/flow_limits.h"
#include "session/session_lists.h"
#include "session/session_window.h"
#include "session/side_status.h"
#include "session/traffic_tap.h"
#include "session/transfer_buffer.h"

namespace pvx::session {

using resources::StringId;

VirtualPortSide::VirtualPortSide(platform::VirtualPort &port, Context context)
    : m_port(port), m_context(std::move(context))
{
    m_port.setEvents({
        .dataReceived = [this] { m_context.events.arrived(); },
        .openedChanged = [this](bool opened) { m_context.events.programOpened(opened); },
        .writable = [this] { m_context.events.writable(); },
    });
}

bool VirtualPortSide::open(int connector)
{
    (void)m_port.remove();
    const QString name = connectorName(connector);
    const auto created = connector > 0 ? m_port.create(name)
                                       : platform::Result<void>(platform::makeError(
                                             platform::ErrorCode::InvalidArgument,
                                             name + QStringLiteral(": not a connector number")));
    const SideStatus &status = m_context.status;
    if (!created) {
        // The status keeps its short form; the reason rides along as the
        // line's tool tip and in the log.
        status.show(status.text(StringId::CannotCreateVirtual) + QLatin1Char(' ') + name, created.error().detail);
        return false;
    }
    status.show(status.text(StringId::VirtualPortWord) + QLatin1Char(' ') + name + QLatin1Char(' ') + status.text(StringId::CreatedWord),
                m_port.devicePath());
    return true;
}

bool VirtualPortSide::close()
{
    const SideStatus &status = m_context.status;
    if (const auto removed = m_port.remove(); !removed) {
        status.show(status.text(StringId::VirtualPortNotClosed), removed.error().detail);
        return false;
    }
    status.show(status.text(StringId::VirtualPortClosed));
    return true;
}

bool VirtualPortSide::isOpen() const
{
    return m_port.exists();
}

qint64 VirtualPortSide::bytesAvailable() const
{
    return m_port.bytesAvailable();
}

qint32 VirtualPortSide::readInto(TransferBuffer &queue)
{
    if (queue.freeSpace() == 0)
        return 0;
    // The port reads no more than it holds: asking it first would only ask twice.
    const QByteArray bytes = m_port.read(queue.freeSpace());
    m_context.tap.serialIn(bytes);
    return queue.append(bytes);
}

void VirtualPortSide::discardInput()
{
    m_port.discardInput();
}

qint32 VirtualPortSide::writeFrom(TransferBuffer &buffer)
{
    const qint32 queued = buffer.count();
    if (queued == 0)
        return 0;
    if (!m_port.isOpenedByApplication()) {
        if (m_context.window.bufferSerialData())
            return 0;
        buffer.clear();
        return queued;
    }
    // What the program does not take now stays at the front, in order.
    // Not copied: the port copies what it keeps before the buffer changes.
    const QByteArrayView front = buffer.front(kVirtualPortWriteChunk);
    const qint64 taken = m_port.write(QByteArray::fromRawData(front.data(), front.size()));
    if (taken <= 0)
        return 0;
    m_context.tap.serialOut(front.first(taken));
    buffer.drop(static_cast<qint32>(taken));
    return static_cast<qint32>(taken);
}

bool VirtualPortSide::awaitsProgram() const
{
    return !m_port.isOpenedByApplication();
}

QString VirtualPortSide::path() const
{
    return m_port.devicePath();
}

} // namespace pvx::session
