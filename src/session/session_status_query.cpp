// What a session reports about itself to a status query.
#include "session/session.h"

#include "core/numeric_text.h"

namespace pvx::session {

QString Session::name() const
{
    return m_window.isNamed() ? m_window.windowNameButton.tag() : m_window.connector.text();
}

SessionStatus Session::status() const
{
    const Role role = m_window.selectedRole();
    return {
        .name = name(),
        .connector = m_window.connector.text(),
        .role = role,
        .udp = m_window.udpSelected(),
        .address = role == Role::Server ? m_window.localAddress.text() : m_window.remoteHost.text(),
        .port = core::roundHalfEven(core::numericValue(m_window.portNumber.text())),
        .serial = m_window.statusLine(StatusLine::Serial).caption(),
        .network = m_window.statusLine(StatusLine::Network).caption(),
        .clients = m_network->clientCount(),
        .moved = m_tap.moved(),
        .heldToNetwork = m_packetizer.queue().count(),
        .heldToSerial = m_toSerial.count(),
        .modem = m_network->remoteModemText(),
        .refused = m_network->refusedPeers(),
    };
}

} // namespace pvx::session
