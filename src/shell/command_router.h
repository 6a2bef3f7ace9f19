#pragma once

#include "platform/command_channel.h"

#include <QString>

namespace pvx::shell {

class MainWindow;
class SessionList;

/// Takes each request of the command channel to whom its topic names:
/// "System" (any letter case) to the program's own commands, any other topic
/// to the first session whose link topic (its connector text) equals it,
/// ignoring case.
class CommandRouter {
public:
    CommandRouter(MainWindow &window, SessionList &sessions);

    platform::CommandReply execute(const QString &topic, const QString &command);

private:
    MainWindow &m_window;
    SessionList &m_sessions;
};

} // namespace pvx::shell
