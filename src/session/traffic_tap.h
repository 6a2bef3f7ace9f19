#pragma once

#include "session/session_status.h"
#include "session/trace_hub.h"

#include <QByteArrayView>

#include <functional>
#include <vector>

namespace pvx::session {

/// The four places every byte that crosses a session passes, one per
/// direction and side: what the serial side read and wrote, what the
/// network side received (with the socket it came on) and sent (with the
/// sockets it went to). Payload only: remote line control's framing is
/// below the taps. The sides call it and nothing else does: the counts of
/// what moved and the trace hook in here.
class TrafficTap {
public:
    /// Traces to `trace` from now on; `peerOf` names the peer of a socket.
    void traceTo(TraceHub &trace, std::function<QString(int socket)> peerOf);

    /// Read from the serial side, on its way to the network.
    void serialIn(QByteArrayView bytes) { (void)bytes; }
    /// Written to the serial side.
    void serialOut(QByteArrayView bytes) { m_moved.toSerial += bytes.size(); }
    /// Received on socket `socket`, on its way to the serial side.
    void networkIn(QByteArrayView bytes, int socket)
    {
        if (m_trace && m_trace->watched())
            m_trace->data(TraceRecord::Kind::ToSerial, bytes, m_peerOf(socket));
    }
    /// Sent to the sockets in `sockets` (none: nobody was there to take it).
    void networkOut(QByteArrayView bytes, const std::vector<int> &sockets)
    {
        if (!sockets.empty())
            m_moved.toNetwork += bytes.size();
        if (m_trace && m_trace->watched())
            m_trace->data(TraceRecord::Kind::ToNetwork, bytes, peersOf(sockets));
    }
    /// `count` bytes from socket `socket` were thrown away by a routing rule.
    void droppedByRule(qint64 count, int socket);
    /// Something happened to the session (about the peer of `socket`, when
    /// one is given).
    void event(const QString &what, int socket = -1);

    /// What was written both ways since the counts started.
    const ByteCounters &moved() const { return m_moved; }
    /// The counts start afresh (at each activation).
    void restartCounts() { m_moved = {}; }

private:
    QString peersOf(const std::vector<int> &sockets) const;

    ByteCounters m_moved;
    TraceHub *m_trace = nullptr;
    std::function<QString(int socket)> m_peerOf;
};

} // namespace pvx::session
