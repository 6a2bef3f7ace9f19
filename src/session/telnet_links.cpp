#include "session/telnet_links.h"

namespace pvx::session {

TelnetLinks::Link &TelnetLinks::start(int index, std::uint64_t connection)
{
    const auto slot = static_cast<std::size_t>(index);
    if (m_links.size() <= slot)
        m_links.resize(slot + 1);
    m_links[slot] = std::make_unique<Link>(m_role);
    m_links[slot]->connection = connection;
    return *m_links[slot];
}

TelnetLinks::Link *TelnetLinks::find(int index, std::uint64_t connection)
{
    const auto slot = static_cast<std::size_t>(index);
    if (index < 0 || slot >= m_links.size() || !m_links[slot] || m_links[slot]->connection != connection)
        return nullptr;
    return m_links[slot].get();
}

const TelnetLinks::Link *TelnetLinks::find(int index, std::uint64_t connection) const
{
    return const_cast<TelnetLinks *>(this)->find(index, connection);
}

} // namespace pvx::session
