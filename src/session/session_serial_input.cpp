// Serial side to network: what the real port or the program on the virtual
// port sends is queued in MyBuffer and sent to the network at once or in
// packets, to the destinations the options name.
#include "session/session.h"

#include "platform/socket.h"
#include "platform/timer.h"
#include "session/flow_limits.h"
#include "session/session_lists.h"

#include <algorithm>
#include <utility>

namespace pvx::session {

namespace {

constexpr int kSerial = 0;

} // namespace

void Session::onSerialReadable()
{
    serialArrived(SerialSource::Port);
}

void Session::onVirtualPortDataReceived()
{
    serialArrived(SerialSource::VirtualPort);
}

void Session::serialArrived(SerialSource source)
{
    // Held, the bytes wait in the port, which raises nothing more until they are read.
    if (!moveWithinTurn([&] { receiveSerialInput(source, true); }))
        m_heldSerialArrival = source;
}

bool Session::moveWithinTurn(const std::function<void()> &move)
{
    if (!m_turn.admit())
        return false;
    const qint64 before = movedSoFar();
    move();
    // An activation within the move starts the count again.
    m_turn.moved(std::max<qint64>(movedSoFar() - before, 0));
    return true;
}

void Session::resumeTurn()
{
    // Whatever held the session, its turn moves all there is both ways.
    const qint64 before = movedSoFar();
    if (const auto source = std::exchange(m_heldSerialArrival, std::nullopt))
        receiveSerialInput(*source, true);
    else if (serialInputWaiting())
        pullSerialInput();
    if (std::exchange(m_heldNetworkArrival, false))
        noteNetworkArrival();
    moveNetworkToSerial();
    m_turn.moved(std::max<qint64>(movedSoFar() - before, 0));
}

void Session::onDeviceFailed(const platform::Error &error)
{
    // The port is closed already; what the network sends meanwhile stays
    // queued, as for any closed port, until the device comes back.
    setStatus(kSerial, statusText(kSerial, text(5099) + QLatin1Char(' ') + error.detail));
    retryAfterDeviceFailure();
}

void Session::onSendProgress(int index)
{
    // The client took data: whatever waited for its room goes on.
    m_links.tookData(index);
    moveWithinTurn([this] { pullSerialInput(); });
}

void Session::pullSerialInput()
{
    receiveSerialInput(m_window.usesVirtualPort() ? SerialSource::VirtualPort : SerialSource::Port, false);
}

bool Session::serialInputWaiting()
{
    if (m_packetizer.queue().freeSpace() == 0)
        return false;
    if (m_window.usesVirtualPort())
        return virtualPort().exists() && virtualPort().bytesAvailable() > 0;
    return serialPort().isOpen() && serialPort().bytesAvailable() > 0;
}

void Session::receiveSerialInput(SerialSource source, bool raisedByEvent)
{
    // The lamp, the queue and a client without room are the pump's to follow.
    wakePump();
    if (raisedByEvent) {
        m_window.lamps[kSerial].setValue(kLampActive);
        // Arrivals come once per pass of the event loop: each begins a turn.
        // Sends made when a client took data share the turn they fall in.
        m_turnSends = 0;
    }
    const bool sourceOpen = source == SerialSource::Port ? serialPort().isOpen() : virtualPort().exists();
    if (serialInputRefused()) {
        if (sourceOpen)
            discardSerialInput(source);
        return;
    }
    const bool connected = m_links.anyConnected();
    const bool buffering = m_window.bufferSerialData();
    // Without buffering, data for a network with nobody to take it is thrown
    // away before it is read. The virtual port reads it and loses it later.
    if (source == SerialSource::Port && !UdpMode && !buffering && !connected) {
        if (sourceOpen)
            discardSerialInput(source);
        return;
    }
    const bool sendingAllowed = UdpMode || !buffering || connected;

    // Read only as far as MyBuffer has room: the rest stays in the device,
    // which is held back until sending makes room.
    bool readAny = false;
    qint64 moved = 0;
    while (moved < kMoveBudget) {
        const qint32 read = sourceOpen ? readSerialInput(source) : 0;
        const qint32 sent = sendSerialData(sendingAllowed);
        if (read == 0 && sent == 0)
            break;
        readAny = readAny || read > 0;
        moved += read + sent * std::max<qint64>(m_links.clientCount(), 1);
    }
    if (raisedByEvent || readAny)
        m_packetizer.inputArrived(packetRules());
}

qint32 Session::readSerialInput(SerialSource source)
{
    TransferBuffer &queue = m_packetizer.queue();
    if (queue.freeSpace() == 0)
        return 0;
    // The virtual port reads no more than it holds: asking it first would
    // only ask twice.
    if (source == SerialSource::VirtualPort)
        return queue.append(virtualPort().read(queue.freeSpace()));
    const qint64 wanted = std::min<qint64>(serialPort().bytesAvailable(), queue.freeSpace());
    return wanted > 0 ? queue.append(serialPort().read(wanted)) : 0;
}

void Session::discardSerialInput(SerialSource source)
{
    if (source == SerialSource::Port)
        serialPort().discardInput();
    else
        virtualPort().discardInput();
}

qint32 Session::sendSerialData(bool sendingAllowed)
{
    if (!sendingAllowed)
        return 0;
    const Packetizer::Rules rules = packetRules();
    qint32 taken = 0;
    for (Packetizer::Piece piece = m_packetizer.dueOnArrival(rules); piece.length > 0;
         piece = m_packetizer.dueOnArrival(rules)) {
        qint32 sent = piece.length;
        // A datagram never waits for room: it goes, or is lost.
        if (UdpMode)
            sendDatagram(m_packetizer.queue().take(sent));
        else
            sent = sendToClients(piece);
        taken += sent;
        // Only whole packets follow one another; anything else was all that was due.
        if (sent == 0 || !piece.whole)
            break;
    }
    return taken;
}

qint32 Session::sendToClients(Packetizer::Piece piece)
{
    // The piece before goes to everybody first: no client's bytes overtake.
    // With the turn spent, what follows waits in MyBuffer and goes as one
    // larger piece.
    if (!deliverFanOut())
        return 0;
    if (turnSpent()) {
        continueNextTurn();
        return 0;
    }
    // A client's unsent bytes stay within their bound; the serial side
    // waits for the slowest destination.
    const std::vector<int> destinations = serialDestinations();
    TransferBuffer &queue = m_packetizer.queue();
    const auto length = static_cast<qint32>(
        std::min<qint64>(piece.length, m_links.sendRoom(destinations, piece.length, clientQueueBound())));
    if (length <= 0 || (piece.whole && length < piece.length))
        return 0;
    // With nobody connected the bytes are taken all the same, and lost.
    qint32 requested = length;
    const QByteArray bytes = queue.take(requested);
    std::vector<FanOut::Destination> receivers;
    receivers.reserve(destinations.size());
    for (const int index : destinations)
        receivers.push_back({index, m_links.connection(index)});
    // The count above is of the payload, before any 0xFF is doubled.
    m_fanOut.start(m_remoteLine ? RemoteLineControl::wireBytes(bytes) : bytes, std::move(receivers));
    if (!destinations.empty())
        m_moved.toNetwork += requested;
    (void)deliverFanOut();
    return requested;
}

bool Session::deliverFanOut()
{
    const auto send = [this](const FanOut::Destination &to, const QByteArray &bytes) {
        // A client that left, or a socket given to a new one, is passed over.
        if (!m_links.isConnected(to.index) || m_links.connection(to.index) != to.connection)
            return false;
        (void)socket(to.index).sendData(bytes);
        return true;
    };
    m_turnSends += m_fanOut.deliver(sendsPerTurn(m_links.clientCount()) - m_turnSends, send);
    if (!m_fanOut.busy())
        return true;
    continueNextTurn();
    return false;
}

bool Session::turnSpent() const
{
    return m_turnSends >= sendsPerTurn(m_links.clientCount());
}

void Session::continueNextTurn()
{
    // Restarting a running timer would only register it anew.
    if (!m_nextTurn->isActive())
        m_nextTurn->start();
}

void Session::onNextTurn()
{
    m_nextTurn->stop();
    m_turnSends = 0;
    if (deliverFanOut())
        pullSerialInput();
}

qint64 Session::clientQueueBound() const
{
    return std::min<qint64>(m_packetizer.queue().capacity(), kClientQueueBound);
}

void Session::sendDatagram(const QByteArray &bytes)
{
    // A UDP server answers whoever sent last; before that, nobody.
    if (m_window.role() == Role::Server && !m_udpPeerKnown)
        return;
    if (socket(0).sendData(bytes))
        m_moved.toNetwork += bytes.size();
}

bool Session::serialInputRefused() const
{
    return m_window.role() == Role::Server ? m_window.serverSerial() == ServerSerial::Ignore
                                           : m_window.clientIo() == ClientIo::NoNetworkOutput;
}

Packetizer::Rules Session::packetRules() const
{
    return {
        .packetMode = m_window.packetMode(),
        .packetSize = std::max(m_services.settings.PacketSize, 1),
    };
}

std::vector<int> Session::serialDestinations() const
{
    return m_links.connectedSockets(m_window.role() == Role::Server
                                    && m_window.serverSerial() == ServerSerial::FirstClientOnly);
}

} // namespace pvx::session
