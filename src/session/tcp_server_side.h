#pragma once

#include "session/peer_gate.h"
#include "session/tcp_side.h"

namespace pvx::session {

/// A TCP server as a session's network side: it listens on the window's
/// local address and port, accepts clients into the lowest free socket (one
/// at a time unless the options allow more), shows how many are connected,
/// and routes serial data to all of them or the first one as the options say.
/// A client whose address the AllowFrom list does not hold is closed as it
/// is accepted, before a byte is read or written, and never counted. With
/// TLS a client counts once its handshake has finished; one that fails is
/// closed, logged once a minute per address like a refusal.
class TcpServerSide final : public TcpSide {
public:
    TcpServerSide(Context context, PingService &pings);

    /// A bad AllowFrom list or TLS set-up fails the start; nothing listens then.
    platform::Result<void> start(int port) override;
    int clientCount() const override;
    void onConnectionRequest(int index, int requestId) override;
    /// A TLS client's handshake has finished: it is counted now.
    void onConnected(int index) override;
    /// An error of the listening socket leaves the clients alone and stays
    /// on the status line until the next activation.
    void onError(int index, int number, const QString &description) override;
    void onProgramOpened(bool) override {}
    std::optional<QString> remoteModemText() const override { return std::nullopt; }
    qint64 refusedPeers() const override { return m_gate.refusals(); }

private:
    void connectionClosed(const QString &reason) override { showClientCount(reason); }
    void clientLeft() override { showClientCount(); }
    bool dropsInputOf(int index) const override;
    std::vector<int> destinations() const override;
    bool isServer() const override { return true; }

    /// Counts the client of socket `index` and starts its connection.
    void admitClient(int index);
    void showClientCount(const QString &reason = {});

    PeerGate m_gate{m_context.status, m_context.log};
};

} // namespace pvx::session
