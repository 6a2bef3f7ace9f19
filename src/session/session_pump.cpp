// The 50 ms pump: lamps, retries of what waited for room, clients that
// stopped taking data, the idle flush of serial data, and the link watch.
// It runs on the program's tick while the session has anything pending.
#include "session/session.h"

#include "session/flow_limits.h"
#include "session/session_lists.h"

namespace pvx::session {

namespace {

constexpr int kLampResetTicks = 3;

} // namespace

void Session::onPumpTick()
{
    const bool serialDataWaited = m_packetizer.queue().count() > 0;
    m_network->beginTurn();
    resetLamps();
    moveWithinTurn([this] { moveNetworkToSerial(); });
    m_network->checkStalls(m_packetizer.queue().count() > 0);
    flushIdleSerialData();
    // A link that carries serial data out needs no ping yet.
    if (!serialDataWaited && isActive())
        m_network->countQuietTick();
    if (serialInputWaiting())
        moveWithinTurn([this] { pullSerialInput(); });
    m_network->tickLineControls();
}

bool Session::pumpPending()
{
    const auto lit = [this](StatusLine line) { return m_window.lamp(line).value() == kLampActive; };
    if (lit(StatusLine::Serial) || lit(StatusLine::Network) || m_toSerial.count() > 0
        || m_packetizer.queue().count() > 0)
        return true;
    return m_network->pumpPending() || serialInputWaiting();
}

void Session::resetLamps()
{
    if (++m_lampTicks != kLampResetTicks)
        return;
    m_window.lamp(StatusLine::Serial).setValue(kLampIdle);
    m_window.lamp(StatusLine::Network).setValue(kLampIdle);
    m_lampTicks = 0;
}

void Session::flushIdleSerialData()
{
    const Packetizer::Piece tail = m_packetizer.dueOnTick(m_window.transmitTimeout());
    if (tail.length == 0)
        return;
    // What finds no room now waits for it: the receivers are there.
    if (m_network->hasReceivers())
        (void)m_network->send(tail);
    else if (!m_window.bufferSerialData())
        m_packetizer.queue().clear();
}

} // namespace pvx::session
