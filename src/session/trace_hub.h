#pragma once

#include "session/trace_record.h"

#include <QByteArrayView>

#include <functional>
#include <vector>

namespace pvx::session {

/// Where a session's trace goes: the trace file, the monitors of the command
/// channel and the monitor window each watch it. With nobody watching the
/// taps cost one test and make no record.
class TraceHub {
public:
    using Watcher = std::function<void(const TraceRecord &record)>;

    /// `sessionName` names the session in every record.
    explicit TraceHub(std::function<QString()> sessionName);

    /// Adds `watcher`; with `withBytes` false its data records carry the
    /// count alone. The number returned takes it off again.
    int watch(Watcher watcher, bool withBytes);
    void unwatch(int id);
    bool watched() const { return !m_watchers.empty(); }

    void data(TraceRecord::Kind kind, QByteArrayView bytes, const QString &peer);
    void event(const QString &what, const QString &peer = {});

private:
    struct Entry {
        int id;
        Watcher watcher;
        bool withBytes;
    };
    void publish(TraceRecord &record, QByteArrayView bytes);

    std::function<QString()> m_sessionName;
    std::vector<Entry> m_watchers;
    int m_nextId = 1;
    bool m_publishing = false;
};

} // namespace pvx::session
