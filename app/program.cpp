// The program's parts, built once for either face.
#include "program.h"

#include "console.h"
#include "core/porvix_home.h"
#include "platform/linux/pty_virtual_port.h"
#include "platform/linux/qt_serial_port.h"
#include "platform/linux/systemd_command.h"
#include "resources/language.h"
#include "shell/startup_entry.h"

#include <QDir>
#include <QFileInfo>

#include <chrono>

#include <unistd.h>

namespace pvx::app {

namespace {

QString configHome()
{
    const QString xdg = environment("XDG_CONFIG_HOME");
    return QDir::isAbsolutePath(xdg) ? xdg : environment("HOME") + QStringLiteral("/.config");
}

/// The manual beside the program, where it is installed, or in the source
/// tree of a build; empty when none is there.
QString findManual(const QString &programFile)
{
    const QString programDir = QFileInfo(programFile).absolutePath();
    const QString candidates[] = {
        programDir + QStringLiteral("/manual.html"),
        programDir + QStringLiteral("/../share/doc/porvix/manual.html"),
        QStringLiteral(PVX_SOURCE_DIR "/docs/manual.html"),
    };
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).isFile())
            return QDir::cleanPath(candidate);
    }
    return {};
}

/// What the logon entry runs.
QString startupCommand(const QString &home, const QString &programFile)
{
    // The default home is the one a logon session finds without help.
    const QString defaultHome = core::resolvePorvixHome({}, [](const char *name) {
        return qstrcmp(name, "PORVIX_HOME") == 0 ? QString() : environment(name);
    });
    return shell::startupCommandLine(programFile, home, defaultHome);
}

} // namespace

// Stopping a service may take as long as systemd's own stop timeout; beyond
// that systemctl has hung.
platform::SystemdService serviceOn(platform::FileStore &files, const QString &home, const QString &programFile)
{
    using namespace std::chrono_literals;
    return platform::SystemdService(
        files, platform::SystemdService::setupFor(programFile, home, environment),
        [](const QStringList &arguments) { return platform::runSystemctl(arguments, 120s); });
}

Program::Program(const QString &home, const QString &commandLineFile, const QString &programFile,
                 platform::Dialogs &dialogs,
                 platform::Desktop *desktop, shell::ShellForms forms, session::OptionDialogs optionDialogs)
    : files(home),
      autostart(files, configHome()),
      strings(resources::languageFromEnvironment()),
      log(files, launcher, clock, settings, core::errorLogPath(home),
          {.failed = [](const QString &why) {
              print(stderr, QStringLiteral("porvix: ") + why + QLatin1Char('\n'));
          }}),
      sessions(session::SessionServices{{strings, dialogs, network, std::move(optionDialogs)},
                                        sockets, timers, ports, settings, log, pings, pump, turns, deviceWatch,
                                        traceFiles},
               [this] {
                   return session::SessionDevices{
                       std::make_unique<platform::QtSerialPort>(),
                       std::make_unique<platform::PtyVirtualPort>(
                           watcher, [this] { return ports.virtualPortDirectory; })};
               }),
      window(shell::MainWindow::Services{strings, dialogs, files, autostart, desktop, timers, sessions, settings,
                                         ports, environment, ::getuid(), std::move(forms),
                                         echo, resolver, launcher, clock},
             shell::MainWindow::Paths{core::defaultConfigurationPath(home), commandLineFile,
                                      startupCommand(home, programFile), findManual(programFile)}),
      channel(core::commandSocketPath(home)),
      service(serviceOn(files, home, programFile))
{
    // A flood of clients leaves the heap's freed pages with the process.
    channel.onConnectionEnded([this] { memoryRelease.activity(); });
    sockets.onConnectionEnded([this] { memoryRelease.activity(); });
    // Other programs may drive the sessions once they are loaded and
    // activated, not before.
    QObject::connect(&window, &shell::MainWindow::started, &window, [this] {
        const auto listening = channel.listen(
            [this](const QString &topic, const QString &command) { return router.execute(topic, command); });
        if (!listening)
            print(stderr, QStringLiteral("porvix: no command channel: ") + listening.error().detail
                              + QLatin1Char('\n'));
    });
    // Connected after the channel, so that a service manager that waits
    // for "up" finds the program answering.
    QObject::connect(&window, &shell::MainWindow::started, &window, [this] { service.notifyReady(); });
    QObject::connect(&window, &shell::MainWindow::closing, &window, [this] { service.notifyStopping(); });
}

} // namespace pvx::app
