#pragma once

#include "platform/socket.h"

#include <functional>
#include <memory>

namespace pvx::platform {

class PendingConnections;

/// Makes QtSockets that share one set of waiting connection requests: a
/// request raised on any of them can be accepted on any other. The sockets
/// may outlive the factory.
class QtSocketFactory final : public SocketFactory {
public:
    QtSocketFactory();
    ~QtSocketFactory() override;
    QtSocketFactory(const QtSocketFactory &) = delete;
    QtSocketFactory &operator=(const QtSocketFactory &) = delete;

    std::unique_ptr<Socket> create() override;
    /// `handler` hears of every connection a socket made from now on closes
    /// (a TLS connection leaves its buffers to the heap).
    void onConnectionEnded(std::function<void()> handler) { m_connectionEnded = std::move(handler); }
    Result<std::shared_ptr<const TlsSetup>> loadTls(const TlsSettings &settings) override;

private:
    std::shared_ptr<PendingConnections> m_pending;
    std::function<void()> m_connectionEnded;
};

} // namespace pvx::platform
