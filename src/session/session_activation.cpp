// Activate and De-Activate: the order of the checks, the status texts and the
// roll-back when the network side cannot start.
#include "session/session.h"

#include "core/numeric_text.h"
#include "core/port_map.h"
#include "platform/serial_port.h"
#include "platform/socket.h"
#include "platform/timer.h"
#include "platform/virtual_port.h"
#include "session/flow_limits.h"
#include "session/line_choices.h"
#include "session/session_lists.h"

namespace pvx::session {

namespace {

constexpr int kSerial = 0;
constexpr int kNetwork = 1;
constexpr int kMaxPort = 65535;

} // namespace

void Session::toggleActive()
{
    if (m_window.isActive())
        deactivate();
    else
        activate();
}

void Session::activate()
{
    if (m_window.isActive())
        return;
    startPress();
    runActivation();
}

void Session::deactivate()
{
    if (!m_window.isActive())
        return;
    startPress();
    runDeactivation();
}

void Session::startPress()
{
    UdpMode = m_window.udpSelected();
    m_watchdog.restart();
    m_reconnectTimer->stop();
    m_links.forgetAll();
    m_fanOut.clear();
    m_udpPeerKnown = false;
    m_remoteLine.reset();
}

void Session::runActivation()
{
    if (m_window.remoteHost.isVisible() && m_window.remoteHost.text().isEmpty()) {
        setStatus(kNetwork, statusText(kNetwork, text(5088)));
        return;
    }
    // The rounded number is checked, so that "65535.7" cannot slip through as 65536.
    const int port = core::roundHalfEven(core::numericValue(m_window.portNumber.text()));
    if (port < 0 || port > kMaxPort) {
        setStatus(kNetwork, statusText(kNetwork, text(5089)));
        return;
    }

    ComPortNumber = m_window.connector.selectedIndex();
    if (ComPortNumber == 0) {
        if (!m_window.isNamed())
            m_window.setCaption(m_window.titleFor(text(5119)));
        setStatus(kSerial, text(5090));
        setStatus(kNetwork, text(5091));
        return;
    }

    if (!openSerialSide())
        return;
    takeUpRemoteLineControl();
    if (!startNetworkSide(port))
        return;

    if (!m_window.isNamed())
        m_window.setCaption(m_window.titleFor(m_window.connector.text()));
    setSettingsLocked(true);
    m_window.activateButton.setCaption(text(5118));
    // The pump serves what the activation left pending; once a connection
    // is up, it counts the quiet towards the first ping.
    wakePump();
}

bool Session::openSerialSide()
{
    if (m_window.usesVirtualPort()) {
        (void)virtualPort().remove();
        const QString name = connectorName(ComPortNumber);
        const auto created = ComPortNumber > 0
                                 ? virtualPort().create(name)
                                 : platform::Result<void>(platform::makeError(
                                       platform::ErrorCode::InvalidArgument,
                                       name + QStringLiteral(": not a connector number")));
        if (!created) {
            // The status keeps its short form; the reason rides along as the
            // line's tool tip and in the log.
            setStatus(kSerial, text(5092) + QLatin1Char(' ') + name, created.error().detail);
            return false;
        }
        setStatus(kSerial, text(5093) + QLatin1Char(' ') + name + QLatin1Char(' ') + text(5094),
                  virtualPort().devicePath());
        sizeTransferBuffers();
        return true;
    }
    return openRealPort();
}

bool Session::openRealPort()
{
    closeRealPort();
    const auto fail = [this](const QString &description) {
        m_deviceReturn.stop();
        closeRealPort();
        setStatus(kSerial, statusText(kSerial, text(5099) + QLatin1Char(' ') + description));
        return false;
    };

    const QString device = m_services.ports.deviceFor(ComPortNumber);
    if (device.isEmpty())
        return fail(connectorName(ComPortNumber) + QStringLiteral(": no such serial port"));
    const auto settings = lineSettings(m_window);
    if (!settings)
        return fail(settings.error().detail);
    sizeTransferBuffers();
    // Watched before the open, so that a device that turns up just after a
    // failed open is not missed.
    watchDevicePath();
    if (const auto opened = serialPort().open(device, *settings); !opened)
        return waitForDevice(device, opened.error()) || fail(opened.error().detail);

    if (!serialPort().isOpen()) {
        m_deviceReturn.stop();
        setStatus(kSerial, statusText(kSerial, text(5095)));
        return false;
    }
    setStatus(kSerial, statusText(kSerial, text(5096)), device);
    return true;
}

void Session::takeUpRemoteLineControl()
{
    if (m_window.rfc2217() && !UdpMode)
        m_remoteLine = std::make_unique<WindowSerialLine>(m_window, serialPort(), virtualPort(),
                                                          WindowSerialLine::Buffers{m_packetizer.queue(), SerialOutBuffer});
}

void Session::sizeTransferBuffers()
{
    // A list without a usable choice (a stored size that is no position of
    // it) would give buffers that hold nothing and a bridge that moves nothing.
    core::Control &sizes = m_window.bufferSize;
    if (sizes.selectedIndex() < 0 || core::numericValue(sizes.text()) < 1)
        (void)sizes.select(kDefaultBufferSize);
    const auto capacity = static_cast<qint32>(core::numericValue(m_window.bufferSize.text()));
    m_packetizer.queue().allocate(capacity);
    SerialOutBuffer.allocate(capacity);
    // The counts start afresh with the buffers.
    m_moved = {};
}

bool Session::startNetworkSide(int port)
{
    platform::Socket &socket0 = socket(0);
    if (UdpMode) {
        socket0.setProtocol(platform::SocketProtocol::Udp);
    } else {
        socket0.close();
        socket0.setProtocol(platform::SocketProtocol::Tcp);
    }

    if (m_window.selectedRole() == Role::Server) {
        m_window.setRole(Role::Server);
        socket0.setLocalPort(port);
        if (UdpMode)
            socket0.setRemotePort(port);
        auto started = socket0.bind(port, m_window.localAddress.text());
        if (started && !UdpMode)
            started = socket0.listen();
        if (!started) {
            rollBackNetworkStart(started.error());
            return false;
        }
        setStatus(kNetwork, statusText(kNetwork, text(5098)));
        return true;
    }

    m_window.setRole(Role::Client);
    socket0.setRemoteHost(m_window.remoteHost.text());
    socket0.setRemotePort(port);
    const bool waitsForVirtualPort = m_window.usesVirtualPort() && m_window.connectOnVirtualOpen();
    if (!waitsForVirtualPort)
        setStatus(kNetwork, statusText(kNetwork, text(5097)));
    else if (!UdpMode)
        // The line keeps its text; only the tool tip says what it waits for.
        setStatus(kNetwork, m_window.statusLines[kNetwork].caption(), waitingForVirtualPortReason());
    if (UdpMode) {
        (void)socket0.bind(port, QString());
        return true;
    }
    if (waitsForVirtualPort)
        return true;
    if (const auto connecting = socket0.connect(); !connecting) {
        rollBackNetworkStart(connecting.error());
        return false;
    }
    return true;
}

void Session::rollBackNetworkStart(const platform::Error &error)
{
    platform::Socket &socket0 = socket(0);
    socket0.close();
    socket0.setRemoteHost(QString());
    socket0.setRemotePort(0);
    setStatus(kNetwork, statusText(kNetwork, text(5099) + QLatin1Char(' ') + error.detail));
    if (m_window.usesVirtualPort()) {
        removeVirtualPort();
        return;
    }
    m_deviceReturn.stop();
    closeRealPort();
    setStatus(kSerial, statusText(kSerial, text(5100)));
}

bool Session::removeVirtualPort()
{
    if (const auto removed = virtualPort().remove(); !removed) {
        setStatus(kSerial, text(5084), removed.error().detail);
        return false;
    }
    setStatus(kSerial, text(5085));
    return true;
}

void Session::closeRealPort()
{
    if (serialPort().isOpen())
        serialPort().close();
}

void Session::runDeactivation()
{
    if (m_window.usesVirtualPort()) {
        if (!removeVirtualPort())
            return;
    } else {
        m_deviceReturn.stop();
        closeRealPort();
        setStatus(kSerial, statusText(kSerial, text(5100)));
    }
    m_links.closeAll();
    socket(0).setProtocol(platform::SocketProtocol::Tcp);
    setStatus(kNetwork, statusText(kNetwork, text(5100)));
    setSettingsLocked(false);
    m_window.activateButton.setCaption(text(5087));
}

void Session::setSettingsLocked(bool locked)
{
    for (core::Control *control :
         {&m_window.connector, &m_window.baudRate, &m_window.parity, &m_window.dataBits, &m_window.stopBits,
          &m_window.flowControl, &m_window.bufferSize, &m_window.ioOptionsButton, &m_window.clientRoleButton,
          &m_window.serverRoleButton, &m_window.remoteHost, &m_window.portNumber, &m_window.localAddress,
          &m_window.useVirtualPort, &m_window.useUdp})
        control->setEnabled(!locked);
}

} // namespace pvx::session
