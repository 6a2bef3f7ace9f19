#include "platform/linux/pending_connections.h"

#include <limits>

namespace pvx::platform {

int PendingConnections::add(UniqueFd connection)
{
    m_lastId = m_lastId == std::numeric_limits<int>::max() ? 1 : m_lastId + 1;
    m_waiting[m_lastId] = std::move(connection);
    return m_lastId;
}

UniqueFd PendingConnections::take(int id)
{
    const auto found = m_waiting.find(id);
    if (found == m_waiting.end())
        return UniqueFd();
    UniqueFd connection = std::move(found->second);
    m_waiting.erase(found);
    return connection;
}

void PendingConnections::reject(int id)
{
    m_waiting.erase(id);
}

} // namespace pvx::platform
