#include "session/tcp_client_side.h"

#include "core/numeric_text.h"
#include "platform/socket.h"
#include "platform/timer.h"
#include "resources/string_ids.h"
#include "session/client_links.h"
#include "session/remote_line_control.h"
#include "session/serial_side.h"
#include "session/session_window.h"
#include "session/side_status.h"

namespace pvx::session {

using resources::StringId;

namespace {

constexpr int kReconnectIntervalMs = 5000;

} // namespace

TcpClientSide::TcpClientSide(Context context, PingService &pings)
    : TcpSide(std::move(context), pings), m_reconnect(m_context.timers.create())
{
    m_reconnect->setInterval(kReconnectIntervalMs);
    m_reconnect->setTimeout([this] { onReconnectTick(); });
}

TcpClientSide::~TcpClientSide() = default;

platform::Result<void> TcpClientSide::start(int port)
{
    if (auto loaded = takeUpTls(platform::TlsRole::Client); !loaded)
        return loaded;
    takeUpRemoteLineControl();
    platform::Socket &connection = m_context.links.socket(0);
    connection.close();
    connection.setProtocol(platform::SocketProtocol::Tcp);
    connection.setTls(tls());
    connection.setRemoteHost(m_context.window.remoteHost.text());
    connection.setRemotePort(port);
    const SideStatus &status = m_context.status;
    if (waitsForProgram()) {
        // The line keeps its text; only the tool tip says what it waits for.
        status.show(status.caption(), waitReason());
        return {};
    }
    status.showState(status.text(StringId::Connecting));
    return connection.connect();
}

int TcpClientSide::clientCount() const
{
    return m_context.links.isConnected(0) ? 1 : 0;
}

void TcpClientSide::onConnected(int index)
{
    connectionStarted(index);
    m_reconnect->stop();
    m_context.status.showState(m_context.status.text(StringId::Connected));
    m_context.events.wakePump();
}

void TcpClientSide::onError(int index, int number, const QString &description)
{
    if (number != platform::kErrorTlsHandshake) {
        TcpSide::onError(index, number, description);
        return;
    }
    // Nothing was connected yet: the status says why, and the next attempt
    // comes on the reconnect rhythm.
    m_context.links.socket(0).close();
    m_context.links.forget(0);
    const SideStatus &status = m_context.status;
    status.showState(status.text(StringId::ErrorPrefix) + QLatin1Char(' ') + description);
    m_context.log(description);
    m_reconnect->start();
}

void TcpClientSide::connectionClosed(const QString &reason)
{
    m_context.status.showState(m_context.status.text(StringId::Closed), reason);
    m_reconnect->start();
}

bool TcpClientSide::dropsInputOf(int) const
{
    return m_context.window.clientIo() == ClientIo::NoSerialOutput;
}

std::vector<int> TcpClientSide::destinations() const
{
    return m_context.links.connectedSockets(false);
}

bool TcpClientSide::waitsForProgram() const
{
    return m_context.window.connectOnVirtualOpen() && m_context.serial.awaitsProgram();
}

QString TcpClientSide::waitReason() const
{
    return m_context.status.text(StringId::WaitingForProgram).arg(m_context.serial.path());
}

void TcpClientSide::onReconnectTick()
{
    // The connection belongs to the program on the virtual port: it comes
    // back when that program opens the port again.
    if (waitsForProgram()) {
        m_reconnect->stop();
        m_context.status.show(m_context.status.caption(), waitReason());
        return;
    }
    connectToConfiguredServer();
}

void TcpClientSide::connectToConfiguredServer()
{
    platform::Socket &connection = m_context.links.socket(0);
    const SessionWindow &window = m_context.window;
    connection.setRemoteHost(window.remoteHost.text());
    connection.setRemotePort(core::roundHalfEven(core::numericValue(window.portNumber.text())));
    const SideStatus &status = m_context.status;
    status.showState(status.text(StringId::Connecting));
    if (const auto connecting = connection.connect(); !connecting) {
        connection.close();
        connection.setRemoteHost(QString());
        connection.setRemotePort(0);
        status.showState(status.text(StringId::ErrorPrefix) + QLatin1Char(' ') + connecting.error().detail);
        m_context.log(connecting.error().detail);
        // Tried again on the next tick (which waits while the virtual port is closed).
        m_reconnect->start();
    }
}

void TcpClientSide::onProgramOpened(bool opened)
{
    if (!m_context.window.connectOnVirtualOpen())
        return;
    platform::Socket &connection = m_context.links.socket(0);
    const SideStatus &status = m_context.status;
    if (opened) {
        // The host and port are taken from the window again: a reconnect tick
        // that gave up on an attempt has blanked them on the socket.
        if (connection.state() != platform::kSocketConnected)
            connectToConfiguredServer();
        else
            status.showState(status.text(StringId::Connecting));
        return;
    }
    status.showState(status.text(StringId::Closed), waitReason());
    // Not only a connected socket: an attempt still under way would connect
    // after the program has gone, and the reconnect cycle would bring the
    // connection back.
    m_reconnect->stop();
    if (connection.state() != platform::kSocketClosed) {
        connection.close();
        m_context.links.forget(0);
    }
}

std::optional<QString> TcpClientSide::remoteModemText() const
{
    if (!speaksRemoteLineControl())
        return std::nullopt;
    const RemoteLineControl *stage = lineControl(0);
    return stage ? stage->modemText() : QStringLiteral("unknown");
}

} // namespace pvx::session
