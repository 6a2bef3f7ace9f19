#include "shell/trace_monitor.h"

#include "session/trace_hub.h"

#include <QObject>

namespace pvx::shell {

TraceMonitor::TraceMonitor(session::TraceHub &hub, const QObject &owner, session::TraceStyle style,
                           platform::CommandStream &stream)
    : m_hub(&hub),
      m_stream(stream)
{
    m_watch = hub.watch(
        [this, style](const session::TraceRecord &record) {
            if (m_stream.send(session::formatTraceRecord(record, style)))
                return;
            stopWatching();
            m_stream.end(QByteArray(kMonitorCutOff));
        },
        true);
    // The hub is gone by the time the owner says so: it must not be touched.
    m_ownerGone = QObject::connect(&owner, &QObject::destroyed, [this] {
        m_hub = nullptr;
        m_stream.end({});
    });
}

TraceMonitor::~TraceMonitor()
{
    QObject::disconnect(m_ownerGone);
    stopWatching();
}

void TraceMonitor::stopWatching()
{
    if (m_hub && m_watch != 0)
        m_hub->unwatch(m_watch);
    m_watch = 0;
}

} // namespace pvx::shell
