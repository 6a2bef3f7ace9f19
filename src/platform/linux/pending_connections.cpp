#include "platform/linux/pending_connections.h"

#include <QTcpSocket>

#include <limits>

namespace pvx::platform {

PendingConnections::~PendingConnections()
{
    for (auto &[id, connection] : m_waiting) {
        connection->abort();
        delete connection;
    }
}

int PendingConnections::add(QTcpSocket *connection)
{
    // The listening server may go away before the request is decided.
    connection->setParent(nullptr);
    m_lastId = m_lastId == std::numeric_limits<int>::max() ? 1 : m_lastId + 1;
    m_waiting[m_lastId] = connection;
    return m_lastId;
}

QTcpSocket *PendingConnections::take(int id)
{
    const auto found = m_waiting.find(id);
    if (found == m_waiting.end())
        return nullptr;
    QTcpSocket *connection = found->second;
    m_waiting.erase(found);
    return connection;
}

void PendingConnections::reject(int id)
{
    if (QTcpSocket *connection = take(id)) {
        connection->abort();
        delete connection;
    }
}

} // namespace pvx::platform
