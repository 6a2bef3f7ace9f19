#pragma once

#include "session/network_side.h"
#include "session/peer_gate.h"
#include "session/session_choices.h"

namespace pvx::session {

/// UDP as a session's network side: one datagram socket. A server binds the
/// window's local address and port and answers whoever sent last (nobody
/// before the first datagram); a client sends to the window's remote host
/// and port. A datagram goes at once or is lost: nothing waits for room.
/// Datagrams from addresses the AllowFrom list does not hold are dropped.
class UdpSide final : public NetworkSide {
public:
    UdpSide(Context context, Role role);

    /// A bad AllowFrom list fails the start; nothing is bound then.
    platform::Result<void> start(int port) override;

    bool readsAtOnce() const override { return true; }
    bool hasReceivers() const override { return true; }
    int clientCount() const override { return 0; }
    qint32 send(Packetizer::Piece piece) override;
    void receive(int index) override;
    qint32 pull() override { return 0; }
    void noteArrival() override {}

    void beginTurn() override {}
    void checkStalls(bool) override {}
    void countQuietTick() override {}
    void tickLineControls() override {}
    bool pumpPending() const override { return false; }

    void onConnectionRequest(int, int) override {}
    void onConnected(int) override {}
    void onPeerClosed(int) override {}
    /// A datagram socket has no connection to end: closing it would leave
    /// the session deaf until it is activated again.
    void onError(int index, int number, const QString &description) override;
    void onProgramOpened(bool) override {}
    std::optional<QString> remoteModemText() const override { return std::nullopt; }
    qint64 refusedPeers() const override { return m_gate.refusals(); }

private:
    bool dropsInput() const;

    Context m_context;
    Role m_role;
    PeerGate m_gate{m_context.status, m_context.log};
    /// A server answers the sender of the last datagram, once there is one.
    bool m_peerKnown = false;
};

} // namespace pvx::session
