// The runs that only ask something of the running instance or of the
// service manager.
#include "requests.h"

#include "console.h"
#include "core/porvix_home.h"
#include "gui/qt_dialogs.h"
#include "platform/linux/command_client.h"
#include "platform/linux/posix_file_store.h"
#include "program.h"
#include "resources/language.h"
#include "resources/string_table.h"
#include "shell/service_command.h"

namespace pvx::app {

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

int runServiceSwitch(const shell::ServiceSwitch &command, const shell::CommandLine &line, bool headless)
{
    platform::PosixFileStore files;
    platform::SystemdService service = serviceOn(files, core::resolvePorvixHome(line.home, environment));
    const resources::StringTable strings(resources::languageFromEnvironment());
    if (headless) {
        return shell::runServiceCommand(command, service, strings, [](const shell::ServiceMessage &message) {
            print(message.failure ? stderr : stdout, message.text + QLatin1Char('\n'));
        });
    }
    gui::QtDialogs dialogs;
    return shell::runServiceCommand(command, service, strings, [&dialogs](const shell::ServiceMessage &message) {
        dialogs.messageBox(message.text, {}, platform::MessageButtons::Ok, message.icon);
    });
}

} // namespace pvx::app
