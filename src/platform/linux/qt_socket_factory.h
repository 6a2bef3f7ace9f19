#pragma once

#include "platform/socket.h"

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
    Result<std::shared_ptr<const TlsSetup>> loadTls(const TlsSettings &settings) override;

private:
    std::shared_ptr<PendingConnections> m_pending;
};

} // namespace pvx::platform
