// The command other programs send to the program as a whole: exit.
#include "shell/main_window.h"

#include "platform/timer.h"

namespace pvx::shell {

namespace {

constexpr int kExitDelayMs = 500;

} // namespace

bool MainWindow::runCommand(const QString &command)
{
    if (command.trimmed().toUpper() != QLatin1String("[APPEXIT]"))
        return false;
    // The exit runs on a later tick, so that the request is answered first.
    ExitRequested = true;
    m_windowTimer->stop();
    m_windowTimer->setInterval(kExitDelayMs);
    m_windowTimer->start();
    return true;
}

} // namespace pvx::shell
