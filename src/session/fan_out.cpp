#include "session/fan_out.h"

#include <cassert>

namespace pvx::session {

void FanOut::start(QByteArray bytes, std::vector<Destination> destinations)
{
    assert(!busy());
    m_bytes = std::move(bytes);
    m_destinations = std::move(destinations);
    m_next = 0;
}

int FanOut::deliver(int maxSends, const Send &send)
{
    int sends = 0;
    while (busy() && sends < maxSends) {
        if (send(m_destinations[m_next++], m_bytes))
            ++sends;
    }
    if (!busy())
        clear();
    return sends;
}

void FanOut::clear()
{
    m_bytes.clear();
    m_destinations.clear();
    m_next = 0;
}

} // namespace pvx::session
