#include "session/session.h"

#include "platform/dialogs.h"
#include "platform/serial_port.h"
#include "platform/socket.h"
#include "platform/timer.h"
#include "platform/virtual_port.h"
#include "resources/string_table.h"
#include "session/flow_limits.h"

namespace pvx::session {

namespace {

constexpr int kReconnectIntervalMs = 5000;
constexpr int kStatusLabel[] = {5090, 5091};

} // namespace

Session::Session(SessionServices services, SessionDevices devices)
    : m_services(services), m_devices(std::move(devices)), m_window(services.window),
      m_links(services.sockets, [this](int index) { return socketEvents(index); }), m_packetizer(kPumpIntervalMs),
      m_watchdog(services.pings, services.settings, m_links,
                 {.close = [this](int index, const QString &reason) { closeConnection(index, reason); },
                  .log = [this](const QString &text) { logError(text); }}),
      m_deviceReturn(services.deviceWatch),
      m_pump(services.pump, [this] { onPumpTick(); }, [this] { return pumpPending(); }),
      m_turn(services.turns, [this] { resumeTurn(); },
             [this] { return m_heldSerialArrival.has_value() || m_heldNetworkArrival; })
{
    m_reconnectTimer = m_services.timers.create();
    m_reconnectTimer->setInterval(kReconnectIntervalMs);
    m_reconnectTimer->setTimeout([this] { onReconnectTick(); });
    m_nextTurn = m_services.timers.create();
    m_nextTurn->setInterval(0);
    m_nextTurn->setTimeout([this] { onNextTurn(); });

    serialPort().setEvents({
        .readyRead = [this] { onSerialReadable(); },
        .bytesWritten = [this](qint64) { moveWithinTurn([this] { moveNetworkToSerial(); }); },
        .failed = [this](const platform::Error &error) { onDeviceFailed(error); },
    });
    virtualPort().setEvents({
        .dataReceived = [this] { onVirtualPortDataReceived(); },
        .openedChanged = [this](bool opened) { onVirtualPortOpenedChanged(opened); },
        .writable = [this] { moveWithinTurn([this] { moveNetworkToSerial(); }); },
    });
    m_window.activateButton.onClick = [this] { toggleActive(); };
}

Session::~Session() = default;

QString Session::text(int id) const
{
    return m_services.window.strings.text(id);
}

QString Session::statusText(int line, const QString &word) const
{
    return text(kStatusLabel[line]) + QLatin1Char(' ') + word;
}

void Session::setStatus(int line, const QString &statusText, const QString &reason)
{
    auto &status = m_window.statusLines[static_cast<std::size_t>(line)];
    if (status.caption() == statusText && status.toolTip() == reason)
        return;
    status.setToolTip(reason);
    status.setCaption(statusText);
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

void Session::showConnectedClients()
{
    if (m_window.selectedRole() != Role::Server)
        return;
    QString clients;
    for (const int index : m_links.connectedSockets(false))
        clients += socket(index).remoteHostIP() + QStringLiteral("\r\n");
    m_services.window.dialogs.messageBox(clients, text(5101), platform::MessageButtons::Ok,
                                         platform::MessageIcon::None);
}

} // namespace pvx::session
