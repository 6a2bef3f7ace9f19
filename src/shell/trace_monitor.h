#pragma once

#include "platform/command_channel.h"
#include "session/trace_format.h"

#include <QMetaObject>

namespace pvx::session {
class TraceHub;
}

class QObject;

namespace pvx::shell {

/// The last line of a monitor that fell behind.
inline constexpr char kMonitorCutOff[] = "porvix: monitor cut off: it did not read\n";

/// Streams a session's trace to one client of the command channel: every
/// record, bytes included, formatted in `style`. When the client leaves too
/// much unread, it stops watching at once and ends the stream with
/// kMonitorCutOff, so that the session never waits for it. When `owner` (what
/// holds the hub) is destroyed, the stream ends without a word.
class TraceMonitor final : public platform::CommandStreamFeed {
public:
    TraceMonitor(session::TraceHub &hub, const QObject &owner, session::TraceStyle style,
                 platform::CommandStream &stream);
    ~TraceMonitor() override;
    TraceMonitor(const TraceMonitor &) = delete;
    TraceMonitor &operator=(const TraceMonitor &) = delete;

private:
    void stopWatching();

    session::TraceHub *m_hub;
    platform::CommandStream &m_stream;
    int m_watch = 0;
    QMetaObject::Connection m_ownerGone;
};

} // namespace pvx::shell
