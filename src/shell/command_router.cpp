#include "shell/command_router.h"

#include "shell/main_window.h"
#include "shell/session_list.h"
#include "shell/status_report.h"
#include "shell/trace_monitor.h"

#include <optional>

namespace pvx::shell {

namespace {

const QLatin1String kSystemTopic("System");
const QLatin1String kStatus("[STATUS]");
const QLatin1String kStatusJson("[STATUS JSON]");
const QLatin1String kMonitorHex("[MONITOR HEX]");
const QLatin1String kMonitorText("[MONITOR TEXT]");

std::optional<session::TraceStyle> monitorStyle(const QString &command)
{
    const QString text = command.trimmed().toUpper();
    if (text == kMonitorHex)
        return session::TraceStyle::Hex;
    if (text == kMonitorText)
        return session::TraceStyle::Text;
    return std::nullopt;
}

} // namespace

CommandRouter::CommandRouter(MainWindow &window, SessionList &sessions)
    : m_window(window),
      m_sessions(sessions)
{
}

platform::CommandReply CommandRouter::execute(const QString &topic, const QString &command)
{
    if (topic.compare(kSystemTopic, Qt::CaseInsensitive) == 0)
        return executeSystem(command);
    for (const auto &session : m_sessions.sessions()) {
        if (session->window().linkTopic().compare(topic, Qt::CaseInsensitive) != 0)
            continue;
        if (const auto style = monitorStyle(command)) {
            auto monitor = [target = session.get(), style = *style](platform::CommandStream &stream) {
                return std::make_unique<TraceMonitor>(target->trace(), *target, style, stream);
            };
            return {.accepted = true, .data = {}, .stream = monitor};
        }
        return {.accepted = session->runCommand(command), .data = {}};
    }
    return {};
}

platform::CommandReply CommandRouter::executeSystem(const QString &command)
{
    const QString text = command.trimmed().toUpper();
    if (text == kStatus)
        return {.accepted = true, .data = statusLines(sessionStatuses(m_sessions))};
    if (text == kStatusJson)
        return {.accepted = true, .data = {statusJson(sessionStatuses(m_sessions))}};
    return {.accepted = m_window.runCommand(command), .data = {}};
}

} // namespace pvx::shell
