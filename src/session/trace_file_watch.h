#pragma once

#include "platform/result.h"
#include "platform/trace_file.h"
#include "session/trace_hub.h"

#include <QString>

#include <memory>
#include <optional>

namespace pvx::session {

/// A session's trace file while the session is active: the records its hub
/// publishes go to the file in the hex format (formatTraceRecord), made and
/// written off the event loop. What the writer could not keep up with is
/// told by one event in its place:
///
///     2026-12-08 14:03:07.120456 [COM7] event 5120 bytes not traced (records: 12)
class TraceFileWatch {
public:
    TraceFileWatch(TraceHub &hub, platform::TraceFileOpener &opener);
    ~TraceFileWatch() { stop(); }
    TraceFileWatch(const TraceFileWatch &) = delete;
    TraceFileWatch &operator=(const TraceFileWatch &) = delete;

    /// Opens `path` and traces to it from now on, the data records with
    /// their bytes when `withBytes`; `sessionName` names the session in the
    /// line that tells of a gap. On failure the file traced to so far (if
    /// any) stays. `warning` hears of the writer's failures later on.
    [[nodiscard]] platform::Result<void> start(const QString &path, bool withBytes, const QString &sessionName,
                                               std::function<void(const QString &message)> warning);
    /// Stops tracing and closes the file: what is queued is written, with a
    /// wait of at most about a second.
    void stop();
    bool running() const { return m_file != nullptr; }

private:
    TraceHub &m_hub;
    platform::TraceFileOpener &m_opener;
    std::unique_ptr<platform::TraceFile> m_file;
    int m_watchId = 0;
};

/// The trace file a "[TRACE=...]" command asks for, from `argument` (the
/// text after "="; a closing "]" is dropped): "ON" keeps `current`, or
/// takes "trace-<connector>.txt" when there is none; "OFF" gives an empty
/// path (any letter case); anything else is the path itself. Refused
/// (nullopt): an empty path, a line break in it, or more than a settings
/// file keeps (199 characters).
std::optional<QString> commandedTraceFile(QString argument, const QString &current, const QString &connector);

} // namespace pvx::session
