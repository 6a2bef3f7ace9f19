#pragma once

#include "session/transfer_buffer.h"

namespace pvx::session {

/// Cuts the serial data queued for the network into sends. As data arrives
/// everything queued may go at once; in packet mode only whole packets go,
/// and the rest waits until no data has arrived for the transmit time-out,
/// counted in pump ticks. What could not go then waits for the next
/// time-out. No I/O: the session asks what is due, finds room for it at its
/// destinations and takes that much from the queue.
class Packetizer {
public:
    /// How the data is cut; the session reads them from its settings at
    /// every call, so that a change acts at once.
    struct Rules {
        bool packetMode = false;
        /// Bytes per packet, at least 1.
        qint32 packetSize = 1;
    };

    /// A piece due for the network: `length` bytes from the front of the queue.
    struct Piece {
        qint32 length = 0;
        /// A packet goes whole or waits; any other piece may go in part.
        bool whole = false;
    };

    explicit Packetizer(int tickIntervalMs) : m_tickIntervalMs(tickIntervalMs) {}

    /// The queue (MyBuffer): sized by the session, filled from the serial side.
    TransferBuffer &queue() { return m_queue; }
    const TransferBuffer &queue() const { return m_queue; }

    /// Serial data arrived: in packet mode the wait for quiet starts again.
    void inputArrived(const Rules &rules);
    /// What may go as data arrives: everything queued, or in packet mode the
    /// next whole packet once one is queued.
    Piece dueOnArrival(const Rules &rules) const;
    /// Counts one pump tick while data is queued. Once it has waited longer
    /// than `timeoutMs` milliseconds, all of it is due and the wait starts
    /// again.
    Piece dueOnTick(double timeoutMs);
    /// Pump ticks counted since the wait started.
    int idleTickCount() const { return m_idleTicks; }

private:
    TransferBuffer m_queue;
    int m_tickIntervalMs;
    int m_idleTicks = 0;
};

} // namespace pvx::session
