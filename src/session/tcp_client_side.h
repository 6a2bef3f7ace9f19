#pragma once

#include "session/tcp_side.h"

namespace pvx::session {

/// A TCP client as a session's network side: it connects to the window's
/// remote host and port, and every 5 s after the connection ends until it
/// is back. With connect-on-open and a virtual port, the connection is
/// there only while a program holds the port open.
class TcpClientSide final : public TcpSide {
public:
    TcpClientSide(Context context, PingService &pings);
    ~TcpClientSide() override;

    platform::Result<void> start(int port) override;
    /// The one connection, once it is up.
    int clientCount() const override;
    void onConnectionRequest(int, int) override {}
    void onConnected(int index) override;
    /// A failed TLS handshake is shown and tried again on the reconnect
    /// rhythm, like a connection that failed.
    void onError(int index, int number, const QString &description) override;
    void onProgramOpened(bool opened) override;
    std::optional<QString> remoteModemText() const override;
    qint64 refusedPeers() const override { return 0; }

private:
    void connectionClosed(const QString &reason) override;
    bool dropsInputOf(int index) const override;
    std::vector<int> destinations() const override;
    bool isServer() const override { return false; }

    /// The reconnect tick (every 5 s after the connection ended).
    void onReconnectTick();
    /// Connects to the window's remote host and port, showing
    /// "Connecting..."; a connect that fails at once is shown, logged and
    /// retried by the reconnect tick.
    void connectToConfiguredServer();
    /// The connection waits for a program to open the virtual port.
    bool waitsForProgram() const;
    /// The status line's tool tip while the connection waits for the program.
    QString waitReason() const;

    std::unique_ptr<platform::Timer> m_reconnect;
};

} // namespace pvx::session
