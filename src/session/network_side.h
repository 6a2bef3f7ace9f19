#pragma once

#include "platform/result.h"
#include "session/packetizer.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace pvx::platform {
class SocketFactory;
class TimerFactory;
}

namespace pvx::session {

class ClientLinks;
class SerialLine;
class SerialSide;
class SessionWindow;
class SideStatus;
class TrafficTap;
class TransferBuffer;
struct ProgramSettings;

/// The network end of a session: a TCP server with its clients, a TCP
/// client, or a UDP socket. It works on the session's socket array; the
/// session hands it the events of the sockets, asks it to send what the
/// serial side read and to receive what the serial side is to get. Every
/// byte sent or received passes the session's tap.
class NetworkSide {
public:
    /// What a side asks of the session around it.
    struct Events {
        /// Runs `move` if the session's share of the event loop allows it
        /// now; false: the session waits for its turn.
        std::function<bool(const std::function<void()> &move)> withinTurn;
        /// The serial side may read on: what it waited for (room at a
        /// client, a connection that ended, the next turn) is there.
        std::function<void()> serialMayMove;
        /// Input waits for the serial side: the session moves it on.
        std::function<void()> moveToSerial;
        /// Something the pump acts on may be pending.
        std::function<void()> wakePump;
    };

    /// What every kind shares with the session around it.
    struct Context {
        SessionWindow &window;
        /// The network status line.
        const SideStatus &status;
        std::function<void(const QString &text)> log;
        /// Shows `description` in the session's error box.
        std::function<void(const QString &description)> errorBox;
        TrafficTap &tap;
        /// Serial data on its way to the network (the packetizer's queue).
        TransferBuffer &toNetwork;
        /// Network data on its way to the serial side.
        TransferBuffer &toSerial;
        ClientLinks &links;
        /// Loads the TLS set-up of an activation.
        platform::SocketFactory &sockets;
        /// The serial side the network side is paired with.
        const SerialSide &serial;
        /// Makes the serial line as remote line control reaches it, once the
        /// serial side is open.
        std::function<std::unique_ptr<SerialLine>()> makeRemoteLine;
        platform::TimerFactory &timers;
        const ProgramSettings &settings;
        Events events;
    };

    virtual ~NetworkSide() = default;

    /// Listens, connects or binds on `port` for an activation, showing it on
    /// the status line; an error when the side cannot start (the session
    /// rolls the activation back).
    virtual platform::Result<void> start(int port) = 0;

    // Data.
    /// What arrives is read as the socket reports it, not at the session's
    /// turn (a datagram cannot wait in the socket).
    virtual bool readsAtOnce() const = 0;
    /// Anything sent now reaches somebody: a connected client, or the
    /// datagram socket's peer.
    virtual bool hasReceivers() const = 0;
    /// The connections that count as clients, for the status query.
    virtual int clientCount() const = 0;
    /// Sends `piece` (the front of the queue to the network) as far as
    /// the destinations have room; the bytes taken off the queue.
    virtual qint32 send(Packetizer::Piece piece) = 0;
    /// Data waits on socket `index`: as much of it as routing passes and
    /// the queue to the serial side has room for goes there.
    virtual void receive(int index) = 0;
    /// Reads what waits on the connections into the queue to the serial
    /// side, each in turn, as far as it has room; the bytes read.
    virtual qint32 pull() = 0;
    /// Data arrived: the link is alive.
    virtual void noteArrival() = 0;

    // The pump and the turns.
    /// A turn of the event loop begins: the sends are counted afresh.
    virtual void beginTurn() = 0;
    /// Closes what stopped taking data; `serialDataQueued`: something waits
    /// to go to the network.
    virtual void checkStalls(bool serialDataQueued) = 0;
    /// One quiet pump tick of an active session (no serial data waited):
    /// the link watch counts it.
    virtual void countQuietTick() = 0;
    /// The pump tick of each connection's remote line control.
    virtual void tickLineControls() = 0;
    /// Anything the pump still has to act on.
    virtual bool pumpPending() const = 0;

    // Socket events, handed on by the session.
    virtual void onConnectionRequest(int index, int requestId) = 0;
    virtual void onConnected(int index) = 0;
    virtual void onPeerClosed(int index) = 0;
    virtual void onError(int index, int number, const QString &description) = 0;

    /// The program on the virtual port opened (true) or closed it.
    virtual void onProgramOpened(bool opened) = 0;
    /// What the server reported of the modem lines, for a client with
    /// remote line control; nothing otherwise.
    virtual std::optional<QString> remoteModemText() const = 0;
    /// Peers turned away since the start: not in AllowFrom (connections and
    /// datagrams) or failing their TLS handshake.
    virtual qint64 refusedPeers() const = 0;
};

} // namespace pvx::session
