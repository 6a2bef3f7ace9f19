#include "shell/command_router.h"

namespace pvx::shell {

CommandRouter::CommandRouter(MainWindow &window, SessionList &sessions)
    : m_window(window),
      m_sessions(sessions)
{
}

platform::CommandReply CommandRouter::execute(const QString &, const QString &)
{
    return {};
}

} // namespace pvx::shell
