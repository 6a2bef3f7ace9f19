#pragma once

#include "platform/command_channel.h"

#include <QString>

namespace pvx::shell {

class MainWindow;
class SessionList;

/// Takes each request of the command channel to whom its topic names:
/// "System" (any letter case) to the program's own commands, any other topic
/// to the first session whose link topic (its connector text) equals it,
/// ignoring case. An unknown topic is refused. The program's own commands
/// are "[APPEXIT]" and the status queries "[STATUS]" (one data line per
/// session) and "[STATUS JSON]" (one data line of JSON). A session's own
/// commands go to the session, except "[MONITOR HEX]" and "[MONITOR TEXT]",
/// whose answer goes on after the ACK with the session's trace in that style
/// (see TraceMonitor).
class CommandRouter {
public:
    CommandRouter(MainWindow &window, SessionList &sessions);

    platform::CommandReply execute(const QString &topic, const QString &command);

private:
    platform::CommandReply executeSystem(const QString &command);

    MainWindow &m_window;
    SessionList &m_sessions;
};

} // namespace pvx::shell
