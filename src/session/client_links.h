#pragma once

#include "platform/socket.h"
#include "session/remote_line_control.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace pvx::session {

/// The socket array of a session: socket 0 (the listener, the client
/// connection or the datagram socket) and the accepted clients from 1 up,
/// with what the data paths track about each. Sockets are made on demand
/// and kept for reuse while the session lives, so `maxSocketIndex()` only
/// grows. It sends, reads and logs nothing: the session decides when a
/// client is counted, drained or closed.
class ClientLinks {
public:
    /// The events socket `index` raises, wired when the socket is made.
    using EventsFor = std::function<platform::Socket::Events(int index)>;

    /// What a pump tick found about one socket.
    enum class Stall {
        None,
        /// The client held the serial side back and took nothing for too long.
        TakesNothing,
        /// What a departed peer sent found no room for too long.
        DrainStuck,
    };

    /// Makes socket 0.
    ClientLinks(platform::SocketFactory &factory, EventsFor eventsFor);

    platform::Socket &socket(int index) { return *link(index).socket; }
    const platform::Socket &socket(int index) const { return *link(index).socket; }
    int maxSocketIndex() const { return static_cast<int>(m_links.size()) - 1; }
    /// Clients counted as connected.
    int clientCount() const { return m_clientCount; }

    /// The lowest closed client socket, or a new one when none is closed.
    int freeClientSocket();
    /// Socket `index` took a client: it is counted, with fresh flow state.
    void countClient(int index);
    /// Takes a counted client off the count; false when it was not counted
    /// (the listener, a client that left already, a second close).
    bool leaveClientCount(int index);
    /// Closes every socket and forgets its local port; nobody is counted.
    void closeAll();

    /// Connected, and not a departed peer whose input is still being read.
    bool isConnected(int index) const;
    bool anyConnected() const;
    /// The connected client with the lowest index (from 1); one past the
    /// last socket when none is.
    int firstConnectedClient() const;
    /// The connected sockets in index order; only the first with `firstOnly`.
    std::vector<int> connectedSockets(bool firstOnly) const;

    /// Tells the connections that socket `index` held apart: it changes
    /// whenever the socket is forgotten (closed, or given to a new client).
    std::uint64_t connection(int index) const { return link(index).connection; }

    /// Forgets what the data paths tracked about socket `index`, and the
    /// stage its connection had.
    void forget(int index);
    void forgetAll();

    /// The room every destination has for `wanted` more bytes when each may
    /// hold at most `bound` unsent; a destination without room for all of
    /// them holds the serial side back until it takes data.
    qint64 sendRoom(const std::vector<int> &destinations, qint64 wanted, qint64 bound);
    /// The client of socket `index` took data: its stall count restarts.
    void tookData(int index);
    /// The connection of socket `index` owes its peer more than
    /// kOwedReadBound: it is not read until the peer takes some.
    bool owesTooMuch(int index) const;

    /// The peer of socket `index` is gone while its input may still wait:
    /// the socket is read until empty, then closed. It no longer counts as
    /// connected; whether it was the first client is kept for routing what
    /// it sent last. False when it was draining already.
    bool startDraining(int index);
    bool isDraining(int index) const { return link(index).draining; }
    bool anyDraining() const;
    /// Input of a draining socket moved: its wait for room restarts.
    void drainMoved(int index) { link(index).drainTicks = 0; }
    /// The first connected client, or a draining one that was first when its
    /// peer left.
    bool isFirstClient(int index) const;

    /// Remote line control on the connection of socket `index`, until it is
    /// forgotten; none when the session does not speak it.
    RemoteLineControl &setLineControl(int index, std::unique_ptr<RemoteLineControl> stage);
    RemoteLineControl *lineControl(int index) const { return link(index).lineControl.get(); }
    /// The pump tick of every connection's remote line control.
    void tickLineControls();
    bool lineControlPending() const;

    /// Counts one pump tick for socket `index`; `serialDataQueued` tells
    /// whether anything still waits to go to the network. Reports a
    /// connection that holds the serial side back or owes too much and took
    /// nothing for `limitTicks` ticks, or a drain stuck as long.
    Stall countStall(int index, bool serialDataQueued, int limitTicks);

private:
    struct Link {
        std::unique_ptr<platform::Socket> socket;
        /// The client is counted in the client count.
        bool counted = false;
        /// The serial side waits because this client's queue has no room.
        bool holdingBack = false;
        /// Pump ticks without send progress while holding back.
        int stallTicks = 0;
        /// The peer is gone; the socket is closed once its input is read.
        bool draining = false;
        /// A draining client was the first connected one when it ended.
        bool wasFirstClient = false;
        /// Pump ticks without the drained input moving.
        int drainTicks = 0;
        std::uint64_t connection = 0;
        std::unique_ptr<RemoteLineControl> lineControl{};
    };

    Link &link(int index) { return m_links.at(static_cast<std::size_t>(index)); }
    const Link &link(int index) const { return m_links.at(static_cast<std::size_t>(index)); }
    int load();

    platform::SocketFactory &m_factory;
    EventsFor m_eventsFor;
    std::vector<Link> m_links;
    int m_clientCount = 0;
};

} // namespace pvx::session
