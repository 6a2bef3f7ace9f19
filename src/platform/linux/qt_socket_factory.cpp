#include "platform/linux/qt_socket_factory.h"

#include "platform/linux/pending_connections.h"
#include "platform/linux/qt_socket.h"

namespace pvx::platform {

QtSocketFactory::QtSocketFactory() : m_pending(std::make_shared<PendingConnections>()) {}

QtSocketFactory::~QtSocketFactory() = default;

std::unique_ptr<Socket> QtSocketFactory::create()
{
    return std::make_unique<QtSocket>(m_pending);
}

} // namespace pvx::platform
