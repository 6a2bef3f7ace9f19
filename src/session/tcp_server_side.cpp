#include "session/tcp_server_side.h"

#include "platform/socket.h"
#include "resources/string_ids.h"
#include "session/client_links.h"
#include "session/session_window.h"
#include "session/side_status.h"

namespace pvx::session {

using resources::StringId;

TcpServerSide::TcpServerSide(Context context, PingService &pings) : TcpSide(std::move(context), pings) {}

platform::Result<void> TcpServerSide::start(int port)
{
    if (auto loaded = m_gate.load(m_context.window.options.AllowFrom); !loaded)
        return loaded;
    if (auto loaded = takeUpTls(platform::TlsRole::Server); !loaded)
        return loaded;
    takeUpRemoteLineControl();
    platform::Socket &listener = m_context.links.socket(0);
    listener.close();
    listener.setProtocol(platform::SocketProtocol::Tcp);
    listener.setLocalPort(port);
    auto started = listener.bind(port, m_context.window.localAddress.text());
    if (started)
        started = listener.listen();
    if (!started)
        return started;
    m_context.status.showState(m_context.status.text(StringId::Listening));
    return {};
}

int TcpServerSide::clientCount() const
{
    return m_context.links.clientCount();
}

void TcpServerSide::onConnectionRequest(int, int requestId)
{
    ClientLinks &links = m_context.links;
    if (!m_context.window.allowMultipleClients() && links.clientCount() != 0)
        return;
    const int chosen = links.freeClientSocket();
    platform::Socket &client = links.socket(chosen);
    client.setLocalPort(links.socket(0).localPort());
    client.setTls(tls());
    // A request that is gone by now is simply not counted.
    if (!client.accept(requestId))
        return;
    // Only an accepted connection tells its peer's address; nothing has been
    // read from or written to it yet.
    if (!m_gate.admits(client.remoteHostIP())) {
        client.close();
        return;
    }
    // A TLS client counts once its handshake has finished (onConnected).
    if (!tls())
        admitClient(chosen);
}

void TcpServerSide::onConnected(int index)
{
    // Without multi-connect the first handshake to finish wins.
    if (!m_context.window.allowMultipleClients() && m_context.links.clientCount() != 0) {
        m_context.links.socket(index).close();
        m_context.links.forget(index);
        return;
    }
    admitClient(index);
}

void TcpServerSide::admitClient(int index)
{
    m_context.links.countClient(index);
    connectionStarted(index);
    showClientCount();
    // The link watch counts the quiet of the new connection.
    m_context.events.wakePump();
}

void TcpServerSide::showClientCount(const QString &reason)
{
    // Once the listener has failed its error stays in view.
    if (m_context.links.socket(0).state() != platform::kSocketListening)
        return;
    const SideStatus &status = m_context.status;
    const int clients = m_context.links.clientCount();
    status.showState(clients != 0 ? QLatin1Char('(') + QString::number(clients) + QLatin1Char(')') + status.text(StringId::Connected)
                                   : status.text(StringId::Listening),
                     reason);
}

void TcpServerSide::onError(int index, int number, const QString &description)
{
    if (index != 0 && number == platform::kErrorTlsHandshake) {
        // Never counted: the session goes on as if it had not come.
        platform::Socket &client = m_context.links.socket(index);
        m_gate.reportFailedHandshake(client.remoteHostIP(), description);
        client.close();
        m_context.links.forget(index);
        return;
    }
    if (index != 0) {
        TcpSide::onError(index, number, description);
        return;
    }
    // The clients already connected stay, counted; only new ones are no
    // longer taken.
    m_context.links.socket(0).close();
    const SideStatus &status = m_context.status;
    status.showState(status.text(StringId::ErrorPrefix) + QLatin1Char(' ') + description);
    m_context.errorBox(description);
}

bool TcpServerSide::dropsInputOf(int index) const
{
    switch (m_context.window.serverTcp()) {
    case ServerTcp::Ignore:
        return true;
    case ServerTcp::FirstClientOnly:
        return !m_context.links.isFirstClient(index);
    case ServerTcp::AllClients:
        break;
    }
    return false;
}

std::vector<int> TcpServerSide::destinations() const
{
    return m_context.links.connectedSockets(m_context.window.serverSerial() == ServerSerial::FirstClientOnly);
}

} // namespace pvx::session
