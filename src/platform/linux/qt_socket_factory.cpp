#include "platform/linux/qt_socket_factory.h"

#include "platform/linux/openssl_context.h"
#include "platform/linux/pending_connections.h"
#include "platform/linux/qt_socket.h"

namespace pvx::platform {

QtSocketFactory::QtSocketFactory() : m_pending(std::make_shared<PendingConnections>()) {}

QtSocketFactory::~QtSocketFactory() = default;

std::unique_ptr<Socket> QtSocketFactory::create()
{
    return std::make_unique<QtSocket>(m_pending, m_connectionEnded);
}

Result<std::shared_ptr<const TlsSetup>> QtSocketFactory::loadTls(const TlsSettings &settings)
{
    auto loaded = OpenSslContext::load(settings);
    if (!loaded)
        return loaded.error();
    return std::shared_ptr<const TlsSetup>(std::move(loaded.value()));
}

} // namespace pvx::platform
