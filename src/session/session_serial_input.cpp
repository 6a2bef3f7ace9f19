// Serial side to network: what the real port or the program on the virtual
// port sends is queued in MyBuffer and sent to the network at once or in
// packets, to the destinations the options name.
#include "session/session.h"

#include "platform/socket.h"
#include "session/flow_limits.h"
#include "session/session_lists.h"

#include <algorithm>

namespace pvx::session {

namespace {

constexpr int kSerial = 0;

} // namespace

void Session::MSComm1_OnComm()
{
    receiveSerialInput(SerialSource::Port, true);
}

void Session::VSPort1_DataReceived()
{
    receiveSerialInput(SerialSource::VirtualPort, true);
}

void Session::MSComm1_Failed(const platform::Error &error)
{
    // The port is closed already; what the network sends meanwhile stays
    // queued, as for any closed port, until the session is activated again.
    setStatus(kSerial, statusText(kSerial, text(5099) + QLatin1Char(' ') + error.detail));
}

void Session::onSendProgress(int index)
{
    // The client took data: whatever waited for its room goes on.
    link(index).stallTicks = 0;
    pullSerialInput();
}

void Session::pullSerialInput()
{
    receiveSerialInput(m_window.chkVPort.value() == 1 ? SerialSource::VirtualPort : SerialSource::Port, false);
}

bool Session::serialInputWaiting()
{
    if (MyBuffer.freeSpace() == 0)
        return false;
    if (m_window.chkVPort.value() == 1)
        return virtualPort().exists() && virtualPort().bytesAvailable() > 0;
    return serialPort().isOpen() && serialPort().bytesAvailable() > 0;
}

void Session::receiveSerialInput(SerialSource source, bool raisedByEvent)
{
    if (raisedByEvent)
        m_window.Shape1[kSerial].setValue(kLampActive);
    const bool sourceOpen = source == SerialSource::Port ? serialPort().isOpen() : virtualPort().exists();
    if (serialInputRefused()) {
        if (sourceOpen)
            discardSerialInput(source);
        return;
    }
    const bool connected = anyConnected();
    // Without buffering, data for a network with nobody to take it is thrown
    // away before it is read. The virtual port reads it and loses it later.
    if (source == SerialSource::Port && !UdpMode && !bufferSerialData() && !connected) {
        if (sourceOpen)
            discardSerialInput(source);
        return;
    }
    const bool sendingAllowed = UdpMode || !bufferSerialData() || connected;

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
        moved += read + sent;
    }
    if (packetMode() && (raisedByEvent || readAny))
        IdleTickCount = 0;
}

qint32 Session::readSerialInput(SerialSource source)
{
    const qint64 waiting =
        source == SerialSource::Port ? serialPort().bytesAvailable() : virtualPort().bytesAvailable();
    const qint64 wanted = std::min<qint64>(waiting, MyBuffer.freeSpace());
    if (wanted <= 0)
        return 0;
    return MyBuffer.append(source == SerialSource::Port ? serialPort().read(wanted) : virtualPort().read(wanted));
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
    if (MyBuffer.count() == 0 || !sendingAllowed)
        return 0;
    const qint32 packet = packetSize();
    qint32 taken = 0;
    if (UdpMode) {
        if (!packetMode()) {
            qint32 all = -1;
            sendDatagram(MyBuffer.take(all));
            return all;
        }
        while (MyBuffer.count() >= packet) {
            qint32 requested = packet;
            sendDatagram(MyBuffer.take(requested));
            taken += requested;
        }
        return taken;
    }
    if (!packetMode())
        return sendToClients(MyBuffer.count(), false);
    while (MyBuffer.count() >= packet) {
        const qint32 sent = sendToClients(packet, true);
        if (sent == 0)
            break;
        taken += sent;
    }
    return taken;
}

qint32 Session::sendToClients(qint32 wanted, bool wholeOnly)
{
    const std::vector<int> destinations = serialDestinations();
    const auto length = static_cast<qint32>(std::min<qint64>(wanted, sendRoom(destinations, wanted)));
    if (length <= 0 || (wholeOnly && length < wanted))
        return 0;
    // With nobody connected the bytes are taken all the same, and lost.
    qint32 requested = length;
    const QByteArray piece = MyBuffer.take(requested);
    for (const int index : destinations)
        (void)socket(index).sendData(piece);
    return requested;
}

qint64 Session::sendRoom(const std::vector<int> &destinations, qint64 wanted)
{
    // A client's unsent bytes stay within the session's buffer size; the
    // serial side waits for the slowest destination.
    const qint64 bound = MyBuffer.capacity();
    qint64 room = wanted;
    for (const int index : destinations) {
        const qint64 queued = socket(index).bytesToWrite();
        link(index).holdingBack = queued + wanted > bound;
        room = std::min(room, bound - queued);
    }
    return std::max<qint64>(room, 0);
}

void Session::sendDatagram(const QByteArray &bytes)
{
    // A UDP server answers whoever sent last; before that, nobody.
    if (m_window.ServerMode == 1 && !m_udpPeerKnown)
        return;
    (void)socket(0).sendData(bytes);
}

bool Session::serialInputRefused() const
{
    return m_window.ServerMode == 1 ? m_window.options.ServerSerialOptions == 1 : m_window.options.ClientOptions == 2;
}

qint32 Session::packetSize() const
{
    return std::max(m_services.settings.PacketSize, 1);
}

bool Session::anyConnected()
{
    for (int i = 0; i <= MaxSocketIndex; ++i) {
        if (isConnected(i))
            return true;
    }
    return false;
}

std::vector<int> Session::serialDestinations()
{
    const bool firstOnly = m_window.ServerMode == 1 && m_window.options.ServerSerialOptions == 2;
    std::vector<int> destinations;
    for (int i = 0; i <= MaxSocketIndex; ++i) {
        if (!isConnected(i))
            continue;
        destinations.push_back(i);
        if (firstOnly)
            break;
    }
    return destinations;
}

} // namespace pvx::session
