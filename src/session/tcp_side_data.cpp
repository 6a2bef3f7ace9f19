// The data of the TCP connections: serial data handed to the clients in
// pieces every one of them has room for, over as many turns as it takes,
// and what the connections send read only as far as the serial side has
// room, each connection in its turn.
#include "session/tcp_side.h"

#include "platform/socket.h"
#include "platform/timer.h"
#include "session/client_links.h"
#include "session/flow_limits.h"
#include "session/remote_line_control.h"
#include "session/traffic_tap.h"
#include "session/transfer_buffer.h"

#include <algorithm>

namespace pvx::session {

qint32 TcpSide::send(Packetizer::Piece piece)
{
    // The piece before goes to everybody first: no client's bytes overtake.
    // With the turn spent, what follows waits in the queue and goes as one
    // larger piece.
    if (!deliverFanOut())
        return 0;
    if (turnSpent()) {
        continueNextTurn();
        return 0;
    }
    // A client's unsent bytes stay within their bound; the serial side
    // waits for the slowest destination.
    ClientLinks &links = m_context.links;
    const std::vector<int> to = destinations();
    const auto length = static_cast<qint32>(
        std::min<qint64>(piece.length, links.sendRoom(to, piece.length, clientQueueBound())));
    if (length <= 0 || (piece.whole && length < piece.length))
        return 0;
    // With nobody connected the bytes are taken all the same, and lost.
    qint32 taken = length;
    const QByteArray bytes = m_context.toNetwork.take(taken);
    std::vector<FanOut::Destination> receivers;
    receivers.reserve(to.size());
    for (const int index : to)
        receivers.push_back({index, links.connection(index)});
    m_context.tap.networkOut(bytes, to);
    m_fanOut.start(m_remoteLine ? RemoteLineControl::wireBytes(bytes) : bytes, std::move(receivers));
    (void)deliverFanOut();
    return taken;
}

bool TcpSide::deliverFanOut()
{
    ClientLinks &links = m_context.links;
    const auto send = [&links](const FanOut::Destination &to, const QByteArray &bytes) {
        // A client that left, or a socket given to a new one, is passed over.
        if (!links.isConnected(to.index) || links.connection(to.index) != to.connection)
            return false;
        (void)links.socket(to.index).sendData(bytes);
        return true;
    };
    m_turnSends += m_fanOut.deliver(sendsPerTurn(links.clientCount()) - m_turnSends, send);
    if (!m_fanOut.busy())
        return true;
    continueNextTurn();
    return false;
}

bool TcpSide::turnSpent() const
{
    return m_turnSends >= sendsPerTurn(m_context.links.clientCount());
}

void TcpSide::continueNextTurn()
{
    // Restarting a running timer would only register it anew.
    if (!m_nextTurn->isActive())
        m_nextTurn->start();
}

void TcpSide::onNextTurn()
{
    m_nextTurn->stop();
    m_turnSends = 0;
    if (deliverFanOut())
        m_context.events.serialMayMove();
}

qint64 TcpSide::clientQueueBound() const
{
    return std::min<qint64>(m_context.toNetwork.capacity(), kClientQueueBound);
}

void TcpSide::receive(int index)
{
    (void)receiveFrom(index);
}

qint32 TcpSide::receiveFrom(int index)
{
    ClientLinks &links = m_context.links;
    platform::Socket &source = links.socket(index);
    // A peer that sends and does not take what it is sent (answers to its
    // requests included) is read no further: TCP holds it back, and the
    // pump's stall rule ends it.
    if (links.owesTooMuch(index))
        return 0;
    if (dropsInputOf(index)) {
        // Read and thrown away, so that the peer is not held back.
        qint32 dropped = 0;
        for (qint64 waiting = source.bytesAvailable();
             waiting > 0 && dropped < kMoveBudget && !links.owesTooMuch(index); waiting = source.bytesAvailable()) {
            // In pieces, so that the answers to one never run far past the bound.
            const QByteArray wire = source.getData(std::min(waiting, kMoveBudget));
            // Its requests are still answered, with the values in effect.
            if (m_remoteLine)
                lineControlOf(index).receive(wire, {});
            dropped += static_cast<qint32>(wire.size());
        }
        m_context.tap.droppedByRule(dropped, index);
        return dropped;
    }
    // Only as far as there is room: the rest stays with the socket and the
    // kernel, and TCP flow control slows the peer.
    TransferBuffer &toSerial = m_context.toSerial;
    const qint64 wanted = std::min<qint64>(source.bytesAvailable(), toSerial.freeSpace());
    if (wanted <= 0)
        return 0;
    TrafficTap &tap = m_context.tap;
    // Telnet data is never longer than its wire bytes, so it fits as well.
    if (m_remoteLine) {
        lineControlOf(index).receive(source.getData(wanted), [&](const QByteArray &payload) {
            tap.networkIn(payload, index);
            (void)toSerial.append(payload);
        });
        return static_cast<qint32>(wanted);
    }
    return toSerial.appendFrom(static_cast<qint32>(wanted), [&](char *at, qint64 room) {
        const qint64 read = source.readInto(at, room);
        if (read > 0)
            tap.networkIn(QByteArrayView(at, read), index);
        return read;
    });
}

qint32 TcpSide::pull()
{
    ClientLinks &links = m_context.links;
    const int elements = links.maxSocketIndex() + 1;
    qint32 pulled = 0;
    // Every socket gets its turn: the next pull starts behind the last one served.
    for (int step = 0; step < elements && m_context.toSerial.freeSpace() > 0; ++step) {
        const int index = (m_nextPull + step) % elements;
        platform::Socket &source = links.socket(index);
        if (source.state() != platform::kSocketConnected && !links.isDraining(index))
            continue;
        if (source.bytesAvailable() > 0) {
            const qint32 got = receiveFrom(index);
            pulled += got;
            if (got > 0)
                links.drainMoved(index);
            m_nextPull = (index + 1) % elements;
        }
        if (links.isDraining(index) && source.bytesAvailable() == 0)
            closeConnection(index);
    }
    return pulled;
}

} // namespace pvx::session
