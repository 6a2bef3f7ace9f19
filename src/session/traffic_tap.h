#pragma once

#include "session/session_status.h"

#include <QByteArrayView>

#include <vector>

namespace pvx::session {

/// The four places every byte that crosses a session passes, one per
/// direction and side: what the serial side read and wrote, what the
/// network side received (with the socket it came on) and sent (with the
/// sockets it went to). Payload only: remote line control's framing is
/// below the taps. The sides call it and nothing else does, so that what
/// watches the traffic (today the counts of what moved) hooks in here.
class TrafficTap {
public:
    /// Read from the serial side, on its way to the network.
    void serialIn(QByteArrayView bytes) { (void)bytes; }
    /// Written to the serial side.
    void serialOut(QByteArrayView bytes) { m_moved.toSerial += bytes.size(); }
    /// Received on socket `socket`, on its way to the serial side.
    void networkIn(QByteArrayView bytes, int socket) { (void)bytes, (void)socket; }
    /// Sent to the sockets in `sockets` (none: nobody was there to take it).
    void networkOut(QByteArrayView bytes, const std::vector<int> &sockets)
    {
        if (!sockets.empty())
            m_moved.toNetwork += bytes.size();
    }

    /// What was written both ways since the counts started.
    const ByteCounters &moved() const { return m_moved; }
    /// The counts start afresh (at each activation).
    void restartCounts() { m_moved = {}; }

private:
    ByteCounters m_moved;
};

} // namespace pvx::session
