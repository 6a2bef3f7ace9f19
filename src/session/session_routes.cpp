// The two routes between the sides: what the serial side sends is queued
// for the network and sent at once or in packets; what the network sends is
// queued for the serial side and written as soon as it has room. Busy
// sessions take turns at the event loop.
#include "session/session.h"

#include "session/flow_limits.h"
#include "session/session_lists.h"

#include <algorithm>
#include <utility>

namespace pvx::session {

void Session::onSerialArrived()
{
    // Held, the bytes wait in the port, which raises nothing more until they are read.
    if (!moveWithinTurn([this] { receiveSerialInput(true); }))
        m_heldSerialArrival = true;
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
    if (std::exchange(m_heldSerialArrival, false))
        receiveSerialInput(true);
    else if (serialInputWaiting())
        pullSerialInput();
    if (std::exchange(m_heldNetworkArrival, false))
        noteNetworkArrival();
    moveNetworkToSerial();
    m_turn.moved(std::max<qint64>(movedSoFar() - before, 0));
}

qint64 Session::movedSoFar() const
{
    return m_tap.moved().toNetwork + m_tap.moved().toSerial;
}

void Session::pullSerialInput()
{
    receiveSerialInput(false);
}

bool Session::serialInputWaiting() const
{
    if (m_packetizer.queue().freeSpace() == 0)
        return false;
    const SerialSide &side = serial();
    return side.isOpen() && side.bytesAvailable() > 0;
}

void Session::receiveSerialInput(bool raisedByEvent)
{
    // The lamp, the queue and a client without room are the pump's to follow.
    wakePump();
    if (raisedByEvent) {
        m_window.lamp(StatusLine::Serial).setValue(kLampActive);
        // Arrivals come once per pass of the event loop: each begins a turn.
        // Sends made when a client took data share the turn they fall in.
        m_network->beginTurn();
    }
    SerialSide &side = serial();
    const bool sourceOpen = side.isOpen();
    if (serialInputRefused()) {
        if (sourceOpen)
            side.discardInput();
        return;
    }
    const bool receivers = m_network->hasReceivers();
    const bool buffering = m_window.bufferSerialData();
    // Without buffering, data for a network with nobody to take it is lost.
    if (side.discardsUnwantedInput() && !buffering && !receivers) {
        if (sourceOpen)
            side.discardInput();
        return;
    }
    const bool sendingAllowed = !buffering || receivers;

    // Read only as far as the queue has room: the rest stays in the port,
    // which is held back until sending makes room.
    TransferBuffer &queue = m_packetizer.queue();
    bool readAny = false;
    qint64 moved = 0;
    while (moved < kMoveBudget) {
        const qint32 read = sourceOpen && queue.freeSpace() > 0 ? side.readInto(queue) : 0;
        const qint32 sent = sendSerialData(sendingAllowed);
        if (read == 0 && sent == 0)
            break;
        readAny = readAny || read > 0;
        moved += read + sent * std::max<qint64>(m_network->clientCount(), 1);
    }
    if (raisedByEvent || readAny)
        m_packetizer.inputArrived(packetRules());
}

qint32 Session::sendSerialData(bool sendingAllowed)
{
    if (!sendingAllowed)
        return 0;
    const Packetizer::Rules rules = packetRules();
    qint32 taken = 0;
    for (Packetizer::Piece piece = m_packetizer.dueOnArrival(rules); piece.length > 0;
         piece = m_packetizer.dueOnArrival(rules)) {
        const qint32 sent = m_network->send(piece);
        taken += sent;
        // Only whole packets follow one another; anything else was all that was due.
        if (sent == 0 || !piece.whole)
            break;
    }
    return taken;
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

void Session::onNetworkDataArrived(int index)
{
    const auto receive = [this, index] {
        noteNetworkArrival();
        m_network->receive(index);
        moveNetworkToSerial();
    };
    // What a datagram socket reports must be read at once. A held
    // connection raises nothing more until it is read, and its turn reads
    // every connection with data waiting.
    if (m_network->readsAtOnce())
        receive();
    else if (!moveWithinTurn(receive))
        m_heldNetworkArrival = true;
}

void Session::onSendProgress(int index)
{
    // The client took data: whatever waited for its room goes on.
    m_links.tookData(index);
    moveWithinTurn([this] { pullSerialInput(); });
}

void Session::noteNetworkArrival()
{
    // Any data proves the link alive.
    m_network->noteArrival();
    m_window.lamp(StatusLine::Network).setValue(kLampActive);
}

void Session::moveNetworkToSerial()
{
    // Every path that takes network input in, or finds room for it, ends
    // here: whatever is left over is the pump's.
    wakePump();
    SerialSide &side = serial();
    qint64 moved = 0;
    while (moved < kMoveBudget) {
        const qint32 written = side.writeFrom(m_toSerial);
        const qint32 pulled = m_network->pull();
        if (written == 0 && pulled == 0)
            break;
        moved += written + pulled;
    }
}

void Session::onProgramOpened(bool opened)
{
    // Bytes held for the program go out as soon as it is there.
    if (opened)
        moveNetworkToSerial();
    m_network->onProgramOpened(opened);
}

} // namespace pvx::session
