// The network side apart from the data: the socket array, accepting
// clients, the end of a connection, socket errors and the client's
// reconnect cycle.
#include "session/session.h"

#include "core/numeric_text.h"
#include "platform/dialogs.h"
#include "platform/socket.h"
#include "platform/timer.h"
#include "session/flow_limits.h"

#include <algorithm>

namespace pvx::session {

namespace {

constexpr int kNetwork = 1;
// Errors at or below this number (as a signed 16-bit value) are about the
// socket's own use and leave the connection alone.
constexpr qint16 kLastNonNetworkError = 10000;

} // namespace

platform::Socket::Events Session::socketEvents(int index)
{
    return {
        .connected = [this, index] { onConnected(index); },
        .closed = [this, index] { onPeerClosed(index); },
        .connectionRequest = [this, index](int requestId) { onConnectionRequest(index, requestId); },
        .dataArrival = [this, index](qint64) { onNetworkDataArrived(index); },
        .sendProgress = [this, index](qint64) { onSendProgress(index); },
        .error = [this, index](int number, const QString &description) {
            onSocketError(index, number, description);
        },
        .warning = [this](const QString &description) { logError(description); },
    };
}

QString Session::connectedClientsText() const
{
    return statusText(kNetwork,
                      QLatin1Char('(') + QString::number(m_links.clientCount()) + QLatin1Char(')') + text(5109));
}

void Session::onConnectionRequest(int, int requestId)
{
    if (!m_window.allowMultipleClients() && m_links.clientCount() != 0)
        return;
    if (m_window.role() != Role::Server)
        return;

    const int chosen = m_links.freeClientSocket();
    platform::Socket &client = socket(chosen);
    client.setLocalPort(socket(0).localPort());
    // A request that is gone by now is simply not counted.
    if (!client.accept(requestId))
        return;
    m_links.countClient(chosen);
    if (m_remoteLine)
        startLineControl(chosen);
    showClientCount();
    // The link watch counts the quiet of the new connection.
    wakePump();
}

RemoteLineControl &Session::startLineControl(int index)
{
    const auto role = m_window.role() == Role::Server ? telnet_port::Role::Server : telnet_port::Role::Client;
    RemoteLineControl &stage = m_links.setLineControl(
        index, std::make_unique<RemoteLineControl>(
                   role, *m_remoteLine,
                   RemoteLineControl::Connection{
                       .send = [this, index](const QByteArray &wire) { (void)socket(index).sendData(wire); },
                       .holdSending = [this, index](bool held) { socket(index).holdSending(held); },
                       .peerAddress = [this, index] { return socket(index).remoteHostIP(); },
                       .isConnected = [this, index] { return m_links.isConnected(index); },
                       .log = [this](const QString &line) { logError(line); },
                   }));
    stage.start();
    return stage;
}

RemoteLineControl &Session::lineControlOf(int index)
{
    // Bytes on a connection whose start went unseen start its stage.
    RemoteLineControl *stage = m_links.lineControl(index);
    return stage ? *stage : startLineControl(index);
}

void Session::showClientCount(const QString &reason)
{
    // Once the listener has failed its error stays in view.
    if (socket(0).state() != platform::kSocketListening)
        return;
    setStatus(kNetwork, m_links.clientCount() != 0 ? connectedClientsText() : statusText(kNetwork, text(5098)),
              reason);
}

void Session::onConnected(int index)
{
    if (m_remoteLine)
        startLineControl(index);
    m_reconnectTimer->stop();
    setStatus(kNetwork, statusText(kNetwork, text(5109)));
    wakePump();
}

void Session::closeConnection(int index, const QString &reason)
{
    if (CloseInProgress)
        return;
    CloseInProgress = true;
    socket(index).close();
    // Only a counted client leaves the count: not the listener, not one that
    // left it when its peer went, not a second close.
    m_links.leaveClientCount(index);
    m_links.forget(index);
    if (m_window.role() == Role::Server) {
        showClientCount(reason);
    } else {
        setStatus(kNetwork, statusText(kNetwork, text(5100)), reason);
        m_reconnectTimer->start();
    }
    CloseInProgress = false;
    // The serial side may have waited for this client alone.
    pullSerialInput();
}

void Session::onPeerClosed(int index)
{
    keepWhatWasSent(index);
    if (m_links.leaveClientCount(index))
        showClientCount();
    closeWhenDrained(index);
}

void Session::keepWhatWasSent(int index)
{
    // The peer is gone, but what it sent before may still wait in the
    // socket, held back while the serial side was busy. It is passed on as
    // it would have been while the client was connected, and the socket is
    // closed once all of it has been read.
    if (m_links.startDraining(index))
        (void)receiveFromSocket(index);
}

void Session::closeWhenDrained(int index)
{
    moveNetworkToSerial();
    if (m_links.isDraining(index) && socket(index).bytesAvailable() == 0)
        closeConnection(index);
}

bool Session::isListener(int index) const
{
    return index == 0 && m_window.role() == Role::Server && !UdpMode;
}

void Session::onSocketError(int index, int number, const QString &description)
{
    if (isListener(index)) {
        onListenerError(description);
        return;
    }
    // A UDP socket has no connection to end; closing it would leave the
    // session deaf until it is activated again.
    const bool ends = static_cast<qint16>(number) > kLastNonNetworkError && !UdpMode;
    if (ends)
        keepWhatWasSent(index);
    setStatus(kNetwork, statusText(kNetwork, text(5103)), description);
    logError(description);
    if (ends) {
        if (m_links.leaveClientCount(index))
            showClientCount();
        closeWhenDrained(index);
    }
    showErrorBox(description);
}

void Session::onListenerError(const QString &description)
{
    // The clients already connected stay, counted; only new ones are no
    // longer taken.
    socket(0).close();
    setStatus(kNetwork, statusText(kNetwork, text(5099) + QLatin1Char(' ') + description));
    showErrorBox(description);
}

void Session::showErrorBox(const QString &description)
{
    // One box per session at a time: a new error replaces the one shown.
    m_services.window.dialogs.notice(QStringLiteral("socket-error-%1").arg(reinterpret_cast<quintptr>(this), 0, 16),
                                     description, m_window.caption());
}

bool Session::waitsForVirtualPort() const
{
    return m_window.usesVirtualPort() && m_window.connectOnVirtualOpen()
           && !m_devices.virtualPort->isOpenedByApplication();
}

void Session::onReconnectTick()
{
    if (UdpMode)
        return;
    // The connection belongs to the program on the virtual port: it comes
    // back when that program opens the port again.
    if (waitsForVirtualPort()) {
        m_reconnectTimer->stop();
        setStatus(kNetwork, m_window.statusLines[kNetwork].caption(), waitingForVirtualPortReason());
        return;
    }
    connectToConfiguredServer();
}

void Session::connectToConfiguredServer()
{
    platform::Socket &socket0 = socket(0);
    socket0.setRemoteHost(m_window.remoteHost.text());
    socket0.setRemotePort(core::roundHalfEven(core::numericValue(m_window.portNumber.text())));
    setStatus(kNetwork, statusText(kNetwork, text(5097)));
    if (const auto connecting = socket0.connect(); !connecting) {
        socket0.close();
        socket0.setRemoteHost(QString());
        socket0.setRemotePort(0);
        setStatus(kNetwork, statusText(kNetwork, text(5099) + QLatin1Char(' ') + connecting.error().detail));
        logError(connecting.error().detail);
        // Tried again on the next tick (which waits while the virtual port is closed).
        m_reconnectTimer->start();
    }
}

QString Session::waitingForVirtualPortReason() const
{
    constexpr int kWaitingForVirtualPort = 5130;
    return text(kWaitingForVirtualPort).arg(m_devices.virtualPort->devicePath());
}

void Session::onVirtualPortOpenedChanged(bool opened)
{
    // Bytes held for the program go out as soon as it is there.
    if (opened)
        moveNetworkToSerial();
    if (UdpMode || !m_window.usesVirtualPort() || m_window.role() != Role::Client
        || !m_window.connectOnVirtualOpen())
        return;
    platform::Socket &socket0 = socket(0);
    if (opened) {
        // The host and port are taken from the window again: a reconnect tick
        // that gave up on an attempt has blanked them on the socket.
        if (socket0.state() != platform::kSocketConnected)
            connectToConfiguredServer();
        else
            setStatus(kNetwork, statusText(kNetwork, text(5097)));
        return;
    }
    setStatus(kNetwork, statusText(kNetwork, text(5100)), waitingForVirtualPortReason());
    // Not only a connected socket: an attempt still under way would connect
    // after the program has gone, and the reconnect cycle would bring the
    // connection back.
    m_reconnectTimer->stop();
    if (socket0.state() != platform::kSocketClosed) {
        socket0.close();
        m_links.forget(0);
    }
}

} // namespace pvx::session
