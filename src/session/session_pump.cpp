// The 50 ms pump: lamps, retries of what waited for room, clients that
// stopped taking data, and the idle flush of serial data.
#include "session/session.h"

#include "core/numeric_text.h"
#include "platform/socket.h"
#include "session/flow_limits.h"
#include "session/session_lists.h"

namespace pvx::session {

namespace {

constexpr int kLampResetTicks = 3;

} // namespace

void Session::Timer2_Timer()
{
    resetLamps();
    moveNetworkToSerial();
    checkStalledClients();
    flushIdleSerialData();
    if (serialInputWaiting())
        pullSerialInput();
}

void Session::resetLamps()
{
    if (++LampTickCount != kLampResetTicks)
        return;
    m_window.Shape1[0].setValue(kLampIdle);
    m_window.Shape1[1].setValue(kLampIdle);
    LampTickCount = 0;
}

void Session::checkStalledClients()
{
    for (int i = 0; i <= MaxSocketIndex; ++i) {
        Link &element = link(i);
        platform::Socket &client = socket(i);
        if (element.holdingBack
            && (!isConnected(i) || MyBuffer.count() == 0)) {
            element.holdingBack = false;
            element.stallTicks = 0;
        }
        if (element.holdingBack && ++element.stallTicks >= kStallTicks) {
            // One peer that stopped reading must not stall the bridge for
            // everybody else.
            LogErrors(QStringLiteral("Connection to %1 closed: it took no data for 10 seconds")
                          .arg(client.remoteHostIP()));
            Winsock1_Close(i);
        } else if (element.draining && ++element.drainTicks >= kStallTicks) {
            LogErrors(QStringLiteral("Connection to %1 closed: %2 bytes it sent found no room for 10 seconds")
                          .arg(client.remoteHostIP())
                          .arg(client.bytesAvailable()));
            Winsock1_Close(i);
        }
    }
}

void Session::flushIdleSerialData()
{
    if (MyBuffer.count() == 0)
        return;
    ++IdleTickCount;
    if (IdleTickCount * static_cast<double>(kPumpIntervalMs) <= core::numericValue(m_window.txtTimeoutValue.text()))
        return;
    if (UdpMode) {
        qint32 all = -1;
        sendDatagram(MyBuffer.take(all));
    } else if (anyConnected()) {
        // What finds no room now waits for it: the clients are there.
        (void)sendToClients(MyBuffer.count(), false);
    } else if (!bufferSerialData()) {
        MyBuffer.clear();
    }
    IdleTickCount = 0;
}

} // namespace pvx::session
