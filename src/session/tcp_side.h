#pragma once

#include "session/fan_out.h"
#include "session/link_watchdog.h"
#include "session/network_side.h"

#include "platform/tls.h"

#include <memory>
#include <vector>

namespace pvx::platform {
class Timer;
}

namespace pvx::session {

class RemoteLineControl;
class SerialLine;
struct PingService;

/// What the TCP server and the TCP client share: connections on the
/// session's socket array, serial data handed to them over as many turns
/// as it takes (FanOut), each read only as far as there is room, a peer
/// that leaves read to its end, the stall rule, the link watch, and remote
/// line control on each connection when the session speaks it.
class TcpSide : public NetworkSide {
public:
    ~TcpSide() override;

    bool readsAtOnce() const override { return false; }
    bool hasReceivers() const override;
    qint32 send(Packetizer::Piece piece) override;
    void receive(int index) override;
    qint32 pull() override;
    void noteArrival() override { m_watchdog.dataArrived(); }

    void beginTurn() override { m_turnSends = 0; }
    void checkStalls(bool serialDataQueued) override;
    void countQuietTick() override { m_watchdog.tick(); }
    void tickLineControls() override;
    bool pumpPending() const override;

    void onPeerClosed(int index) override;
    void onError(int index, int number, const QString &description) override;
    /// Ends the connection of socket `index`: the client count and status
    /// follow, the status with `reason` when one is given, and a client
    /// starts its reconnect cycle. Ignored while it runs.
    void closeConnection(int index, const QString &reason = {});

    /// Pings the peers of a quiet link and ends the connections that fail.
    const LinkWatchdog &watchdog() const { return m_watchdog; }

protected:
    TcpSide(Context context, PingService &pings);

    /// A connection was closed; `reason` for the status line.
    virtual void connectionClosed(const QString &reason) = 0;
    /// A counted client left the count (only a server counts them).
    virtual void clientLeft() {}
    /// Routing drops what socket `index` receives.
    virtual bool dropsInputOf(int index) const = 0;
    /// Where serial data goes now.
    virtual std::vector<int> destinations() const = 0;
    /// Which end of the connections this side is, for remote line control.
    virtual bool isServer() const = 0;

    /// Loads the window's TLS set-up for an activation when TLS is on: its
    /// files' error, for the status line, fails the activation.
    platform::Result<void> takeUpTls(platform::TlsRole role);
    /// The TLS set-up connections are made with; none while TLS is off.
    const std::shared_ptr<const platform::TlsSetup> &tls() const { return m_tls; }

    /// Takes up the serial line for an activation with remote line
    /// control on: every connection gets its stage from now on.
    void takeUpRemoteLineControl();
    /// Socket `index` carries a new connection: its remote line control
    /// starts, when the session speaks it.
    void connectionStarted(int index);
    /// The stage of the connection on socket `index`; none without remote
    /// line control.
    const RemoteLineControl *lineControl(int index) const;
    bool speaksRemoteLineControl() const { return m_remoteLine != nullptr; }

    Context m_context;

private:
    /// Reads socket `index` as routing says, as far as the queue to the
    /// serial side has room.
    qint32 receiveFrom(int index);
    /// Hands the piece in flight to further clients while the turn allows;
    /// true when it has reached them all (or there is none).
    bool deliverFanOut();
    /// The sends of this turn are made.
    bool turnSpent() const;
    /// The side goes on in its next turn, once the events waiting now have run.
    void continueNextTurn();
    void onNextTurn();
    /// A client's unsent bytes that hold the serial side back.
    qint64 clientQueueBound() const;
    void keepWhatWasSent(int index);
    void closeWhenDrained(int index);
    RemoteLineControl &startLineControl(int index);
    RemoteLineControl &lineControlOf(int index);

    /// The serial line as the connections' remote line control reaches it,
    /// while the option is on; the stages sit on the connections (ClientLinks).
    std::unique_ptr<SerialLine> m_remoteLine;
    std::shared_ptr<const platform::TlsSetup> m_tls;
    LinkWatchdog m_watchdog;
    /// Serial data on its way to several clients, over as many turns as it takes.
    FanOut m_fanOut;
    /// Sends to clients since the turn began: an arrival of serial data, the
    /// next turn and the pump tick each begin one.
    int m_turnSends = 0;
    /// Brings the next turn once the events waiting now have run.
    std::unique_ptr<platform::Timer> m_nextTurn;
    /// Where the next pull of held input starts, so that every client gets its turn.
    int m_nextPull = 0;
    bool m_closing = false;
};

} // namespace pvx::session
