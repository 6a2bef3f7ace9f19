#include "session/traffic_tap.h"

#include <QStringList>

namespace pvx::session {

void TrafficTap::traceTo(TraceHub &trace, std::function<QString(int socket)> peerOf)
{
    m_trace = &trace;
    m_peerOf = std::move(peerOf);
}

void TrafficTap::droppedByRule(qint64 count, int socket)
{
    if (m_trace && m_trace->watched() && count > 0)
        m_trace->event(QStringLiteral("%1 bytes dropped by the routing rule").arg(count), m_peerOf(socket));
}

void TrafficTap::event(const QString &what, int socket)
{
    if (m_trace && m_trace->watched())
        m_trace->event(what, socket >= 0 ? m_peerOf(socket) : QString());
}

QString TrafficTap::peersOf(const std::vector<int> &sockets) const
{
    if (sockets.empty())
        return QStringLiteral("nobody");
    QStringList peers;
    for (const int socket : sockets)
        peers << m_peerOf(socket);
    return peers.join(QStringLiteral(", "));
}

} // namespace pvx::session
