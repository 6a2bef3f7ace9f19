#include "session/session.h"

#include "core/endpoint_text.h"
#include "platform/dialogs.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"
#include "session/device_side.h"
#include "session/flow_limits.h"
#include "session/network_side_factory.h"
#include "session/serial_settings_text.h"
#include "session/virtual_port_side.h"
#include "session/window_serial_line.h"

namespace pvx::session {

using resources::StringId;

Session::Session(SessionServices services, SessionDevices devices)
    : m_services(services), m_devices(std::move(devices)), m_window(services.window),
      m_serialStatus(services.window.strings, StringId::SerialStatusLabel, m_window.statusLine(StatusLine::Serial),
                     [this](const QString &text, const QString &reason) {
                         setStatus(StatusLine::Serial, text, reason);
                     }),
      m_networkStatus(services.window.strings, StringId::NetworkStatusLabel, m_window.statusLine(StatusLine::Network),
                      [this](const QString &text, const QString &reason) {
                          setStatus(StatusLine::Network, text, reason);
                      }),
      m_trace([this] { return name(); }),
      m_traceFile(m_trace, services.traceFiles),
      m_links(services.sockets, [this](int index) { return socketEvents(index); }), m_packetizer(kPumpIntervalMs),
      m_pump(services.pump, [this] { onPumpTick(); }, [this] { return pumpPending(); }),
      m_turn(services.turns, [this] { resumeTurn(); }, [this] { return m_heldSerialArrival || m_heldNetworkArrival; })
{
    const SerialSide::Context serialContext{
        .window = m_window,
        .status = m_serialStatus,
        .log = [this](const QString &text) { logError(text); },
        .tap = m_tap,
        .events = {
            .arrived = [this] { onSerialArrived(); },
            .writable = [this] { moveWithinTurn([this] { moveNetworkToSerial(); }); },
            .programOpened = [this](bool opened) { onProgramOpened(opened); },
            .reopened = [this] { moveNetworkToSerial(); },
        },
    };
    m_device = std::make_unique<DeviceSide>(
        DeviceSide::Devices{*m_devices.serial, services.deviceWatch, services.ports}, serialContext);
    m_virtualPort = std::make_unique<VirtualPortSide>(*m_devices.virtualPort, serialContext);
    m_tap.traceTo(m_trace, [this](int socket) {
        const platform::Socket &peer = m_links.socket(socket);
        return core::endpointText(peer.remoteHostIP(), peer.protocol() == platform::SocketProtocol::Udp
                                                           ? peer.senderPort()
                                                           : peer.remotePort());
    });
    m_network = makeNetworkSide();
    m_window.activateButton.onClick = [this] { toggleActive(); };
}

Session::~Session() = default;

std::unique_ptr<NetworkSide> Session::makeNetworkSide()
{
    NetworkSide::Context context{
        .window = m_window,
        .status = m_networkStatus,
        .log = [this](const QString &text) { logError(text); },
        .errorBox = [this](const QString &description) { showErrorBox(description); },
        .tap = m_tap,
        .toNetwork = m_packetizer.queue(),
        .toSerial = m_toSerial,
        .links = m_links,
        .sockets = m_services.sockets,
        .serial = serial(),
        .makeRemoteLine =
            [this] {
                return std::make_unique<WindowSerialLine>(
                    m_window, *m_devices.serial, *m_devices.virtualPort,
                    WindowSerialLine::Buffers{m_packetizer.queue(), m_toSerial},
                    [this] { m_tap.event(QStringLiteral("line settings changed to ") + settingsString(m_window)); });
            },
        .timers = m_services.timers,
        .settings = m_services.settings,
        .events = {
            .withinTurn = [this](const std::function<void()> &move) { return moveWithinTurn(move); },
            .serialMayMove = [this] { pullSerialInput(); },
            .moveToSerial = [this] { moveNetworkToSerial(); },
            .wakePump = [this] { wakePump(); },
        },
    };
    return session::makeNetworkSide(m_window.selectedRole(), m_window.udpSelected(), std::move(context),
                                    m_services.pings);
}

SerialSide &Session::serial() const
{
    return m_window.usesVirtualPort() ? *m_virtualPort : *m_device;
}

platform::Socket::Events Session::socketEvents(int index)
{
    // Sockets are kept for reuse across presses; their events go to the
    // network side of the moment.
    return {
        .connected = [this, index] { m_network->onConnected(index); },
        .closed = [this, index] { m_network->onPeerClosed(index); },
        .connectionRequest = [this, index](int requestId) { m_network->onConnectionRequest(index, requestId); },
        .dataArrival = [this, index](qint64) { onNetworkDataArrived(index); },
        .sendProgress = [this, index](qint64) { onSendProgress(index); },
        .error = [this, index](int number, const QString &description) {
            m_network->onError(index, number, description);
        },
        .warning = [this](const QString &description) { logError(description); },
    };
}

QString Session::text(StringId id) const
{
    return m_services.window.strings.text(id);
}

void Session::setStatus(StatusLine line, const QString &statusText, const QString &reason)
{
    core::Control &status = m_window.statusLine(line);
    if (status.caption() == statusText && status.toolTip() == reason)
        return;
    status.setToolTip(reason);
    status.setCaption(statusText);
    m_tap.event(reason.isEmpty() ? statusText : statusText + QStringLiteral(" (") + reason + QLatin1Char(')'));
    emit statusChanged(line, statusText);
    logError(reason.isEmpty() ? statusText : statusText + QStringLiteral(" (") + reason + QLatin1Char(')'));
}

void Session::logError(const QString &description)
{
    const platform::Socket &socket0 = m_links.socket(0);
    const QString modePart =
        m_window.role() == Role::Server
            ? QStringLiteral("Server Mode, Local Port: ") + QString::number(socket0.localPort())
            : QStringLiteral("Client Mode, Remote Host: ") + socket0.remoteHost() + QStringLiteral(", RemotePort: ")
                  + QString::number(socket0.remotePort());
    m_services.log.report(description, m_window.machineAddress, modePart);
}

void Session::showErrorBox(const QString &description)
{
    // One box per session at a time: a new error replaces the one shown.
    m_services.window.dialogs.notice(QStringLiteral("socket-error-%1").arg(reinterpret_cast<quintptr>(this), 0, 16),
                                     description, m_window.caption());
}

void Session::showConnectedClients()
{
    if (m_window.selectedRole() != Role::Server)
        return;
    QString clients;
    for (const int index : m_links.connectedSockets(false))
        clients += m_links.socket(index).remoteHostIP() + QStringLiteral("\r\n");
    m_services.window.dialogs.messageBox(clients, text(StringId::ConnectedClientsTitle), platform::MessageButtons::Ok,
                                         platform::MessageIcon::None);
}

} // namespace pvx::session
