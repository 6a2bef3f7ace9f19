// What a session reports about itself to a status query.
#include "session/session.h"

#include "core/numeric_text.h"

namespace pvx::session {

SessionStatus Session::status() const
{
    const Role role = m_window.selectedRole();
    const bool udp = m_window.udpSelected();
    // A client session's one connection counts as its client.
    const int clients = role == Role::Server ? m_links.clientCount() : (!udp && m_links.isConnected(0) ? 1 : 0);
    return {
        .name = m_window.isNamed() ? m_window.windowNameButton.tag() : m_window.connector.text(),
        .connector = m_window.connector.text(),
        .role = role,
        .udp = udp,
        .address = role == Role::Server ? m_window.localAddress.text() : m_window.remoteHost.text(),
        .port = core::roundHalfEven(core::numericValue(m_window.portNumber.text())),
        .serial = m_window.statusLines[0].caption(),
        .network = m_window.statusLines[1].caption(),
        .clients = clients,
        .moved = m_moved,
        .heldToNetwork = m_packetizer.queue().count(),
        .heldToSerial = SerialOutBuffer.count(),
        .modem = remoteModemText(),
    };
}

std::optional<QString> Session::remoteModemText() const
{
    if (!m_remoteLine || m_window.role() != Role::Client)
        return std::nullopt;
    const RemoteLineControl *stage = m_links.lineControl(0);
    return stage ? stage->modemText() : QStringLiteral("unknown");
}

} // namespace pvx::session
