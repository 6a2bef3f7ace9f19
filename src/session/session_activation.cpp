// Activate and De-Activate: the order of the checks, the status texts and the
// roll-back when the network side cannot start.
#include "session/session.h"

#include "core/numeric_text.h"
#include "resources/string_ids.h"
#include "session/flow_limits.h"
#include "session/session_lists.h"

namespace pvx::session {

using resources::StringId;

namespace {

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
    // The connections and what was tracked about them end with the side
    // they belonged to.
    m_links.forgetAll();
    m_network = makeNetworkSide();
}

void Session::runActivation()
{
    if (m_window.remoteHost.isVisible() && m_window.remoteHost.text().isEmpty()) {
        m_networkStatus.showState(text(StringId::InvalidIpAddress));
        return;
    }
    // The rounded number is checked, so that "65535.7" cannot slip through as 65536.
    const int port = core::roundHalfEven(core::numericValue(m_window.portNumber.text()));
    if (port < 0 || port > kMaxPort) {
        m_networkStatus.showState(text(StringId::InvalidPortNumber));
        return;
    }

    m_connector = m_window.connector.selectedIndex();
    if (m_connector == 0) {
        if (!m_window.isNamed())
            m_window.setCaption(m_window.titleFor(text(StringId::NewSessionName)));
        m_serialStatus.show(text(StringId::SerialStatusLabel));
        m_networkStatus.show(text(StringId::NetworkStatusLabel));
        return;
    }

    sizeTransferBuffers();
    // First, so that the file shows how the activation went.
    if (!m_window.options.TraceFile.isEmpty())
        (void)startTraceFile(m_window.options.TraceFile);
    if (!serial().open(m_connector) || !startNetworkSide(port)) {
        m_traceFile.stop();
        return;
    }

    if (!m_window.isNamed())
        m_window.setCaption(m_window.titleFor(m_window.connector.text()));
    m_window.setSettingsLocked(true);
    m_window.activateButton.setCaption(text(StringId::DeactivateCaption));
    // The pump serves what the activation left pending; once a connection
    // is up, it counts the quiet towards the first ping.
    wakePump();
}

void Session::sizeTransferBuffers()
{
    // A list without a usable choice (a stored size that is no position of
    // it) would give buffers that hold nothing and a bridge that moves nothing.
    core::Control &sizes = m_window.bufferSize;
    if (sizes.selectedIndex() < 0 || core::numericValue(sizes.text()) < 1)
        (void)sizes.select(kDefaultBufferSize);
    const auto capacity = static_cast<qint32>(core::numericValue(sizes.text()));
    m_packetizer.queue().allocate(capacity);
    m_toSerial.allocate(capacity);
    // The counts start afresh with the buffers.
    m_tap.restartCounts();
}

bool Session::startNetworkSide(int port)
{
    m_window.setRole(m_window.selectedRole());
    if (const auto started = m_network->start(port); !started) {
        rollBackNetworkStart(started.error());
        return false;
    }
    return true;
}

void Session::rollBackNetworkStart(const platform::Error &error)
{
    platform::Socket &socket0 = m_links.socket(0);
    socket0.close();
    socket0.setRemoteHost(QString());
    socket0.setRemotePort(0);
    m_networkStatus.showState(text(StringId::ErrorPrefix) + QLatin1Char(' ') + error.detail);
    (void)serial().close();
}

void Session::runDeactivation()
{
    if (!serial().close())
        return;
    m_links.closeAll();
    m_links.socket(0).setProtocol(platform::SocketProtocol::Tcp);
    m_networkStatus.showState(text(StringId::Closed));
    m_window.setSettingsLocked(false);
    m_window.activateButton.setCaption(text(StringId::ActivateCaption));
    m_traceFile.stop();
}

bool Session::startTraceFile(const QString &path)
{
    const auto warn = [this](const QString &message) {
        logError(message);
        emit warned(message);
    };
    const auto started = m_traceFile.start(path, m_window.options.TraceBytes != 0, name(), warn);
    if (!started)
        warn(text(StringId::TraceFileNotOpened).arg(started.error().detail));
    return started.ok();
}

} // namespace pvx::session
