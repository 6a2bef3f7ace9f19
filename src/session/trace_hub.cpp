#include "session/trace_hub.h"

#include <algorithm>

namespace pvx::session {

TraceHub::TraceHub(std::function<QString()> sessionName) : m_sessionName(std::move(sessionName)) {}

int TraceHub::watch(Watcher watcher, bool withBytes)
{
    m_watchers.push_back({m_nextId, std::move(watcher), withBytes});
    return m_nextId++;
}

void TraceHub::unwatch(int id)
{
    const auto found = std::find_if(m_watchers.begin(), m_watchers.end(), [id](const Entry &e) { return e.id == id; });
    if (found == m_watchers.end())
        return;
    // While the watchers are being told the list keeps its shape; the gap
    // goes afterwards.
    if (m_publishing)
        found->watcher = nullptr;
    else
        m_watchers.erase(found);
}

void TraceHub::data(TraceRecord::Kind kind, QByteArrayView bytes, const QString &peer)
{
    if (m_watchers.empty())
        return;
    TraceRecord record;
    record.kind = kind;
    record.peer = peer;
    record.byteCount = bytes.size();
    publish(record, bytes);
}

void TraceHub::event(const QString &what, const QString &peer)
{
    if (m_watchers.empty())
        return;
    TraceRecord record;
    record.peer = peer;
    record.event = what;
    publish(record, {});
}

void TraceHub::publish(TraceRecord &record, QByteArrayView bytes)
{
    record.when = std::chrono::system_clock::now();
    record.session = m_sessionName();
    // The bytes are copied once, and only when someone takes them.
    const bool anyWantsBytes =
        !bytes.isEmpty() && std::any_of(m_watchers.begin(), m_watchers.end(), [](const Entry &e) { return e.withBytes; });
    const QByteArray copied = anyWantsBytes ? bytes.toByteArray() : QByteArray();
    m_publishing = true;
    // By index: a watcher may add another while it is told.
    for (std::size_t i = 0; i < m_watchers.size(); ++i) {
        if (!m_watchers[i].watcher)
            continue;
        record.bytes = m_watchers[i].withBytes ? copied : QByteArray();
        // A copy: the call may grow the list under it.
        const Watcher watcher = m_watchers[i].watcher;
        watcher(record);
    }
    m_publishing = false;
    std::erase_if(m_watchers, [](const Entry &e) { return !e.watcher; });
}

} // namespace pvx::session
