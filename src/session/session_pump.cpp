// The 50 ms pump: lamps, retries of what waited for room, clients that
// stopped taking data, the idle flush of serial data, and the link watch.
// It runs on the program's tick while the session has anything pending.
#include "session/session.h"

#include "platform/socket.h"
#include "session/flow_limits.h"
#include "session/session_lists.h"

namespace pvx::session {

namespace {

constexpr int kLampResetTicks = 3;

} // namespace

void Session::onPumpTick()
{
    const bool serialDataWaited = m_packetizer.queue().count() > 0;
    m_turnSends = 0;
    resetLamps();
    moveWithinTurn([this] { moveNetworkToSerial(); });
    checkStalledClients();
    flushIdleSerialData();
    // A link that carries serial data out needs no ping yet.
    if (!serialDataWaited && isActive() && !UdpMode)
        m_watchdog.tick();
    if (serialInputWaiting())
        moveWithinTurn([this] { pullSerialInput(); });
    m_links.tickLineControls();
}

bool Session::pumpPending()
{
    const auto lit = [this](std::size_t line) { return m_window.lamps[line].value() == kLampActive; };
    if (lit(0) || lit(1) || SerialOutBuffer.count() > 0 || m_packetizer.queue().count() > 0 || m_links.anyDraining())
        return true;
    // An active TCP session counts the quiet of its connections towards the
    // next ping; without one it has nothing to ping, and the connection that
    // comes wakes it.
    if (isActive() && !UdpMode && m_services.settings.PingEnabled != 0 && m_links.anyConnected())
        return true;
    if (m_links.lineControlPending())
        return true;
    return networkInputHeld() || serialInputWaiting();
}

bool Session::networkInputHeld() const
{
    if (UdpMode)
        return false;
    for (int i = 0; i <= m_links.maxSocketIndex(); ++i) {
        const platform::Socket &source = m_links.socket(i);
        if ((source.state() == platform::kSocketConnected || m_links.isDraining(i)) && source.bytesAvailable() > 0)
            return true;
    }
    return false;
}

void Session::resetLamps()
{
    if (++LampTickCount != kLampResetTicks)
        return;
    m_window.lamps[0].setValue(kLampIdle);
    m_window.lamps[1].setValue(kLampIdle);
    LampTickCount = 0;
}

void Session::checkStalledClients()
{
    for (int i = 0; i <= m_links.maxSocketIndex(); ++i) {
        const platform::Socket &client = socket(i);
        switch (m_links.countStall(i, m_packetizer.queue().count() > 0, kStallTicks)) {
        case ClientLinks::Stall::None:
            break;
        case ClientLinks::Stall::TakesNothing:
            // One peer that stopped reading must not stall the bridge for
            // everybody else.
            logError(QStringLiteral("Connection to %1 closed: it took no data for 10 seconds")
                          .arg(client.remoteHostIP()));
            closeConnection(i);
            break;
        case ClientLinks::Stall::DrainStuck:
            logError(QStringLiteral("Connection to %1 closed: %2 bytes it sent found no room for 10 seconds")
                          .arg(client.remoteHostIP())
                          .arg(client.bytesAvailable()));
            closeConnection(i);
            break;
        }
    }
}

void Session::flushIdleSerialData()
{
    const Packetizer::Piece tail = m_packetizer.dueOnTick(m_window.transmitTimeout());
    if (tail.length == 0)
        return;
    if (UdpMode) {
        qint32 all = tail.length;
        sendDatagram(m_packetizer.queue().take(all));
    } else if (m_links.anyConnected()) {
        // What finds no room now waits for it: the clients are there.
        (void)sendToClients(tail);
    } else if (!m_window.bufferSerialData()) {
        m_packetizer.queue().clear();
    }
}

} // namespace pvx::session
