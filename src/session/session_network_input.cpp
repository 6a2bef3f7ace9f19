// Network to serial side: what the sockets receive is queued in
// SerialOutBuffer, as the options route it, and written to the real or
// virtual port as soon as it has room.
#include "session/session.h"

#include "platform/socket.h"
#include "session/flow_limits.h"
#include "session/session_lists.h"

#include <algorithm>

namespace pvx::session {

namespace {

constexpr int kNetwork = 1;

} // namespace

void Session::onNetworkDataArrived(int index)
{
    // A datagram socket is not held: what it reports must be read. A held
    // connection raises nothing more until it is read, and its turn reads
    // every connection with data waiting.
    if (UdpMode) {
        noteNetworkArrival();
        receiveDatagrams(index);
        moveNetworkToSerial();
        return;
    }
    const bool moved = moveWithinTurn([&] {
        noteNetworkArrival();
        (void)receiveFromSocket(index);
        moveNetworkToSerial();
    });
    if (!moved)
        m_heldNetworkArrival = true;
}

void Session::noteNetworkArrival()
{
    // Any data proves the link alive.
    m_watchdog.dataArrived();
    m_window.lamps[kNetwork].setValue(kLampActive);
}

void Session::receiveDatagrams(int index)
{
    platform::Socket &source = socket(index);
    // Every event reads at least one datagram: an empty one must be taken
    // too, or the socket would report nothing more.
    int datagrams = 0;
    do {
        const QByteArray datagram = source.getData(source.bytesAvailable());
        if (m_window.role() == Role::Server && source.senderPort() > 0) {
            platform::Socket &socket0 = socket(0);
            socket0.setRemoteHost(source.remoteHostIP());
            socket0.setRemotePort(source.senderPort());
            m_udpPeerKnown = true;
        }
        // What does not fit is dropped: a datagram cannot be held back.
        if (!networkInputDropped(index))
            (void)SerialOutBuffer.append(datagram);
    } while (source.bytesAvailable() > 0 && ++datagrams < kDatagramsPerEvent);
}

qint32 Session::receiveFromSocket(int index)
{
    platform::Socket &source = socket(index);
    // A peer that sends and does not take what it is sent (answers to its
    // requests included) is read no further: TCP holds it back, and the
    // pump's stall rule ends it.
    if (m_links.owesTooMuch(index))
        return 0;
    if (networkInputDropped(index)) {
        // Read and thrown away, so that the peer is not held back.
        qint32 dropped = 0;
        for (qint64 waiting = source.bytesAvailable();
             waiting > 0 && dropped < kMoveBudget && !m_links.owesTooMuch(index); waiting = source.bytesAvailable()) {
            // In pieces, so that the answers to one never run far past the bound.
            const QByteArray wire = source.getData(std::min(waiting, kMoveBudget));
            // Its requests are still answered, with the values in effect.
            if (m_remoteLine)
                lineControlOf(index).receive(wire, {});
            dropped += static_cast<qint32>(wire.size());
        }
        return dropped;
    }
    // Only as far as there is room: the rest stays with the socket and the
    // kernel, and TCP flow control slows the peer.
    const qint64 wanted = std::min<qint64>(source.bytesAvailable(), SerialOutBuffer.freeSpace());
    if (wanted <= 0)
        return 0;
    // Telnet data is never longer than its wire bytes, so it fits as well.
    if (m_remoteLine) {
        lineControlOf(index).receive(source.getData(wanted),
                                     [this](const QByteArray &payload) { (void)SerialOutBuffer.append(payload); });
        return static_cast<qint32>(wanted);
    }
    return SerialOutBuffer.appendFrom(static_cast<qint32>(wanted),
                                      [&](char *at, qint64 room) { return source.readInto(at, room); });
}

bool Session::networkInputDropped(int index) const
{
    if (m_window.role() == Role::Client)
        return m_window.clientIo() == ClientIo::NoSerialOutput;
    switch (m_window.serverTcp()) {
    case ServerTcp::Ignore:
        return true;
    case ServerTcp::FirstClientOnly:
        // Datagrams have no first client.
        return !UdpMode && !m_links.isFirstClient(index);
    case ServerTcp::AllClients:
        break;
    }
    return false;
}

qint32 Session::pullNetworkInput()
{
    if (UdpMode)
        return 0;
    const int elements = m_links.maxSocketIndex() + 1;
    qint32 pulled = 0;
    // Every socket gets its turn: the next pull starts behind the last one served.
    for (int step = 0; step < elements && SerialOutBuffer.freeSpace() > 0; ++step) {
        const int index = (m_nextPull + step) % elements;
        platform::Socket &source = socket(index);
        if (source.state() != platform::kSocketConnected && !m_links.isDraining(index))
            continue;
        if (source.bytesAvailable() > 0) {
            const qint32 got = receiveFromSocket(index);
            pulled += got;
            if (got > 0)
                m_links.drainMoved(index);
            m_nextPull = (index + 1) % elements;
        }
        if (m_links.isDraining(index) && source.bytesAvailable() == 0)
            closeConnection(index);
    }
    return pulled;
}

void Session::moveNetworkToSerial()
{
    // Every path that takes network input in, or finds room for it, ends
    // here: whatever is left over is the pump's.
    wakePump();
    qint64 moved = 0;
    while (moved < kMoveBudget) {
        const qint32 written = writeSerialSide();
        const qint32 pulled = pullNetworkInput();
        if (written == 0 && pulled == 0)
            break;
        moved += written + pulled;
    }
}

QByteArray Session::frontOfSerialOutput(qint32 maxBytes) const
{
    // Not copied: the writers copy what they keep before the buffer changes.
    const QByteArrayView front = SerialOutBuffer.front(maxBytes);
    return QByteArray::fromRawData(front.data(), front.size());
}

qint32 Session::writeSerialSide()
{
    const qint32 queued = SerialOutBuffer.count();
    if (queued == 0)
        return 0;
    if (m_window.usesVirtualPort()) {
        if (!virtualPort().isOpenedByApplication()) {
            if (m_window.bufferSerialData())
                return 0;
            SerialOutBuffer.clear();
            return queued;
        }
        // What the program does not take now stays at the front, in order.
        const qint64 taken = virtualPort().write(frontOfSerialOutput(kVirtualPortWriteChunk));
        SerialOutBuffer.drop(static_cast<qint32>(taken));
        m_moved.toSerial += taken;
        return static_cast<qint32>(taken);
    }
    // A closed port keeps the bytes; an open one gets what its driver
    // buffer has room for.
    if (!serialPort().isOpen())
        return 0;
    const qint64 room = kDriverBufferSize - serialPort().bytesToWrite();
    if (room <= 0)
        return 0;
    const qint64 taken = serialPort().write(frontOfSerialOutput(static_cast<qint32>(std::min<qint64>(room, queued))));
    SerialOutBuffer.drop(static_cast<qint32>(taken));
    m_moved.toSerial += taken;
    return static_cast<qint32>(taken);
}

} // namespace pvx::session
