// The runs that only ask something of the running instance or of the
// service manager.
#include "requests.h"

#include "console.h"
#include "core/porvix_home.h"
#include "platform/linux/command_client.h"
#include "platform/linux/posix_file_store.h"
#include "program.h"
#include "resources/language.h"
#include "resources/string_table.h"
#include "shell/service_command.h"

#include <csignal>

#include <unistd.h>

namespace pvx::app {

namespace {

/// Ctrl+C is how a monitor is meant to end, so SIGINT and SIGTERM end the
/// process at once with exit status 0. Nothing is lost: the stream goes out
/// unbuffered.
void exitQuietlyOnSignals()
{
    struct sigaction action {};
    action.sa_handler = [](int) { ::_exit(0); };
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : {SIGINT, SIGTERM})
        ::sigaction(signalNumber, &action, nullptr);
}

} // namespace

int runClient(const shell::CommandLine &line)
{
    const QString socketPath = core::commandSocketPath(core::resolvePorvixHome(line.home, environment));
    const QString topic = line.send ? line.sendTopic : QStringLiteral("System");
    const QString command = line.send ? line.rest : line.json ? QStringLiteral("[STATUS JSON]") : QStringLiteral("[STATUS]");
    const auto answer = platform::sendCommand(socketPath, topic, command);
    if (!answer) {
        print(stderr, QStringLiteral("porvix: ") + answer.error().detail + QLatin1Char('\n'));
        return 2;
    }
    for (const QString &data : answer->reply.data)
        print(stdout, data + QLatin1Char('\n'));
    const bool accepted = answer->reply.accepted;
    if (line.send) {
        print(stdout, accepted ? QStringLiteral("ACK\n") : QStringLiteral("NAK\n"));
        return accepted ? 0 : 1;
    }
    if (!accepted) {
        print(stderr, QStringLiteral("porvix: the instance at %1 refused the status query\n").arg(socketPath));
        return 1;
    }
    return 0;
}

int runMonitor(const shell::CommandLine &line)
{
    exitQuietlyOnSignals();
    const QString socketPath = core::commandSocketPath(core::resolvePorvixHome(line.home, environment));
    const QString command = line.text ? QStringLiteral("[MONITOR TEXT]") : QStringLiteral("[MONITOR HEX]");
    auto answer = platform::openCommandStream(socketPath, line.monitorTopic, command);
    if (!answer) {
        print(stderr, QStringLiteral("porvix: ") + answer.error().detail + QLatin1Char('\n'));
        return 2;
    }
    if (!answer->reply.accepted) {
        print(stderr, QStringLiteral("porvix: the instance at %1 has no session with the topic %2\n")
                          .arg(socketPath, line.monitorTopic));
        return 1;
    }
    const auto copied = platform::copyCommandStream(*answer, STDOUT_FILENO);
    if (!copied) {
        print(stderr, QStringLiteral("porvix: ") + copied.error().detail + QLatin1Char('\n'));
        return 1;
    }
    return 0;
}

int runServiceSwitch(const shell::ServiceSwitch &command, const shell::CommandLine &line,
                     const QString &programFile, const std::function<void(const shell::ServiceMessage &)> &say)
{
    platform::PosixFileStore files;
    platform::SystemdService service =
        serviceOn(files, core::resolvePorvixHome(line.home, environment), programFile);
    const resources::StringTable strings(resources::languageFromEnvironment());
    return shell::runServiceCommand(command, service, strings, say);
}

} // namespace pvx::app
