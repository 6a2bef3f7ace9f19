// What the TCP server and client share apart from the data: the end of a
// connection, a peer that leaves while its input waits, socket errors, the
// stall rule, the link watch and remote line control on each connection.
#include "session/tcp_side.h"

#include "platform/socket.h"
#include "platform/timer.h"
#include "resources/string_ids.h"
#include "session/client_links.h"
#include "session/flow_limits.h"
#include "session/remote_line_control.h"
#include "session/serial_line.h"
#include "session/session_options.h"
#include "session/session_window.h"
#include "session/side_status.h"
#include "session/traffic_tap.h"

namespace pvx::session {

using resources::StringId;

namespace {

// Errors at or below this number (as a signed 16-bit value) are about the
// socket's own use and leave the connection alone.
constexpr qint16 kLastNonNetworkError = 10000;

} // namespace

TcpSide::TcpSide(Context context, PingService &pings)
    : m_context(std::move(context)),
      m_watchdog(pings, m_context.settings, m_context.links,
                 {.close = [this](int index, const QString &reason) { closeConnection(index, reason); },
                  .log = [this](const QString &text) { m_context.log(text); }}),
      m_nextTurn(m_context.timers.create())
{
    m_nextTurn->setInterval(0);
    m_nextTurn->setTimeout([this] { onNextTurn(); });
}

TcpSide::~TcpSide() = default;

bool TcpSide::hasReceivers() const
{
    return m_context.links.anyConnected();
}

void TcpSide::closeConnection(int index, const QString &reason)
{
    if (m_closing)
        return;
    m_closing = true;
    m_context.tap.event(reason.isEmpty() ? QStringLiteral("connection closed")
                                         : QStringLiteral("connection closed (%1)").arg(reason),
                        index);
    ClientLinks &links = m_context.links;
    links.socket(index).close();
    // Only a counted client leaves the count: not the listener, not one that
    // left it when its peer went, not a second close.
    links.leaveClientCount(index);
    links.forget(index);
    connectionClosed(reason);
    m_closing = false;
    // The serial side may have waited for this client alone.
    m_context.events.serialMayMove();
}

void TcpSide::onPeerClosed(int index)
{
    keepWhatWasSent(index);
    if (m_context.links.leaveClientCount(index))
        clientLeft();
    closeWhenDrained(index);
}

void TcpSide::keepWhatWasSent(int index)
{
    // The peer is gone, but what it sent before may still wait in the
    // socket, held back while the serial side was busy. It is passed on as
    // it would have been while the client was connected, and the socket is
    // closed once all of it has been read.
    if (m_context.links.startDraining(index))
        (void)receiveFrom(index);
}

void TcpSide::closeWhenDrained(int index)
{
    m_context.events.moveToSerial();
    if (m_context.links.isDraining(index) && m_context.links.socket(index).bytesAvailable() == 0)
        closeConnection(index);
}

void TcpSide::onError(int index, int number, const QString &description)
{
    const bool ends = static_cast<qint16>(number) > kLastNonNetworkError;
    if (ends)
        keepWhatWasSent(index);
    const SideStatus &status = m_context.status;
    status.showState(status.text(StringId::Error), description);
    m_context.log(description);
    if (ends) {
        if (m_context.links.leaveClientCount(index))
            clientLeft();
        closeWhenDrained(index);
    }
    m_context.errorBox(description);
}

void TcpSide::checkStalls(bool serialDataQueued)
{
    ClientLinks &links = m_context.links;
    for (int i = 0; i <= links.maxSocketIndex(); ++i) {
        const platform::Socket &client = links.socket(i);
        switch (links.countStall(i, serialDataQueued, kStallTicks)) {
        case ClientLinks::Stall::None:
            break;
        case ClientLinks::Stall::TakesNothing:
            // One peer that stopped reading must not stall the bridge for
            // everybody else.
            m_context.log(QStringLiteral("Connection to %1 closed: it took no data for 10 seconds")
                              .arg(client.remoteHostIP()));
            closeConnection(i);
            break;
        case ClientLinks::Stall::DrainStuck:
            m_context.log(QStringLiteral("Connection to %1 closed: %2 bytes it sent found no room for 10 seconds")
                              .arg(client.remoteHostIP())
                              .arg(client.bytesAvailable()));
            closeConnection(i);
            break;
        }
    }
}

bool TcpSide::pumpPending() const
{
    const ClientLinks &links = m_context.links;
    if (links.anyDraining() || links.lineControlPending())
        return true;
    // An active side counts the quiet of its connections towards the next
    // ping; without one it has nothing to ping, and the connection that
    // comes wakes it.
    if (m_context.window.isActive() && m_context.settings.PingEnabled != 0 && links.anyConnected())
        return true;
    for (int i = 0; i <= links.maxSocketIndex(); ++i) {
        const platform::Socket &source = links.socket(i);
        if ((source.state() == platform::kSocketConnected || links.isDraining(i)) && source.bytesAvailable() > 0)
            return true;
    }
    return false;
}

platform::Result<void> TcpSide::takeUpTls(platform::TlsRole role)
{
    const SessionOptions &options = m_context.window.options;
    m_tls.reset();
    if (options.Tls == 0)
        return {};
    // Relative paths are taken from the current folder, the Porvix home.
    auto loaded = m_context.sockets.loadTls({
        .role = role,
        .certificateFile = options.TlsCertificate,
        .keyFile = options.TlsKey,
        .trustPath = options.TlsTrust,
        .verifyPeer = options.TlsVerifyPeer,
    });
    if (!loaded)
        return loaded.error();
    m_tls = std::move(loaded.value());
    return {};
}

void TcpSide::takeUpRemoteLineControl()
{
    if (m_context.window.rfc2217())
        m_remoteLine = m_context.makeRemoteLine();
}

void TcpSide::connectionStarted(int index)
{
    m_context.tap.event(QStringLiteral("connection started"), index);
    if (m_remoteLine)
        startLineControl(index);
}

RemoteLineControl &TcpSide::startLineControl(int index)
{
    ClientLinks &links = m_context.links;
    RemoteLineControl &stage = links.setLineControl(
        index, std::make_unique<RemoteLineControl>(
                   isServer() ? telnet_port::Role::Server : telnet_port::Role::Client, *m_remoteLine,
                   RemoteLineControl::Connection{
                       .send = [&links, index](const QByteArray &wire) { (void)links.socket(index).sendData(wire); },
                       .holdSending = [&links, index](bool held) { links.socket(index).holdSending(held); },
                       .peerAddress = [&links, index] { return links.socket(index).remoteHostIP(); },
                       .isConnected = [&links, index] { return links.isConnected(index); },
                       .log = [this](const QString &line) { m_context.log(line); },
                   }));
    stage.start();
    return stage;
}

RemoteLineControl &TcpSide::lineControlOf(int index)
{
    // Bytes on a connection whose start went unseen start its stage.
    RemoteLineControl *stage = m_context.links.lineControl(index);
    return stage ? *stage : startLineControl(index);
}

const RemoteLineControl *TcpSide::lineControl(int index) const
{
    return m_context.links.lineControl(index);
}

void TcpSide::tickLineControls()
{
    m_context.links.tickLineControls();
}

} // namespace pvx::session
