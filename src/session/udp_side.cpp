#include "session/udp_side.h"

#include "platform/socket.h"
#include "resources/string_ids.h"
#include "session/client_links.h"
#include "session/flow_limits.h"
#include "session/serial_side.h"
#include "session/session_window.h"
#include "session/side_status.h"
#include "session/traffic_tap.h"
#include "session/transfer_buffer.h"

namespace pvx::session {

using resources::StringId;

UdpSide::UdpSide(Context context, Role role) : m_context(std::move(context)), m_role(role) {}

platform::Result<void> UdpSide::start(int port)
{
    if (auto loaded = m_gate.load(m_context.window.options.AllowFrom); !loaded)
        return loaded;
    platform::Socket &socket = m_context.links.socket(0);
    socket.setProtocol(platform::SocketProtocol::Udp);
    const SideStatus &status = m_context.status;
    if (m_role == Role::Server) {
        socket.setLocalPort(port);
        socket.setRemotePort(port);
        if (auto bound = socket.bind(port, m_context.window.localAddress.text()); !bound)
            return bound;
        status.showState(status.text(StringId::Listening));
        return {};
    }
    socket.setRemoteHost(m_context.window.remoteHost.text());
    socket.setRemotePort(port);
    // Datagrams need no connection: one that waits for the program on the
    // virtual port leaves the line as it is.
    if (!(m_context.window.connectOnVirtualOpen() && m_context.serial.awaitsProgram()))
        status.showState(status.text(StringId::Connecting));
    (void)socket.bind(port, QString());
    return {};
}

qint32 UdpSide::send(Packetizer::Piece piece)
{
    qint32 taken = piece.length;
    const QByteArray bytes = m_context.toNetwork.take(taken);
    // Before the first datagram a server knows nobody to answer.
    if (m_role == Role::Server && !m_peerKnown)
        return taken;
    if (m_context.links.socket(0).sendData(bytes))
        m_context.tap.networkOut(bytes, {0});
    return taken;
}

void UdpSide::receive(int index)
{
    ClientLinks &links = m_context.links;
    platform::Socket &source = links.socket(index);
    // Every event reads at least one datagram: an empty one must be taken
    // too, or the socket would report nothing more.
    int datagrams = 0;
    do {
        const QByteArray datagram = source.getData(source.bytesAvailable());
        // A stranger's datagram neither reaches the serial side nor becomes
        // the peer a server answers.
        if (!m_gate.admits(source.remoteHostIP()))
            continue;
        if (m_role == Role::Server && source.senderPort() > 0) {
            platform::Socket &socket = links.socket(0);
            socket.setRemoteHost(source.remoteHostIP());
            socket.setRemotePort(source.senderPort());
            m_peerKnown = true;
        }
        // What does not fit is dropped: a datagram cannot be held back.
        if (!dropsInput()) {
            m_context.tap.networkIn(datagram, index);
            (void)m_context.toSerial.append(datagram);
        } else {
            m_context.tap.droppedByRule(datagram.size(), index);
        }
    } while (source.bytesAvailable() > 0 && ++datagrams < kDatagramsPerEvent);
}

bool UdpSide::dropsInput() const
{
    // Datagrams have no first client: only ignoring them all drops them.
    if (m_role == Role::Client)
        return m_context.window.clientIo() == ClientIo::NoSerialOutput;
    return m_context.window.serverTcp() == ServerTcp::Ignore;
}

void UdpSide::onError(int, int, const QString &description)
{
    const SideStatus &status = m_context.status;
    status.showState(status.text(StringId::Error), description);
    m_context.log(description);
    m_context.errorBox(description);
}

} // namespace pvx::session
