// The composition root of both faces: the GUI (porvix) and the headless face
// (porvix --headless, or no display). Both build the same platform objects,
// sessions and main-window model; only the dialogs and the views differ.
#include "about/about_form.h"
#include "core/porvix_home.h"
#include "core/port_map.h"
#include "gui/about_dialog.h"
#include "gui/main_frame.h"
#include "gui/options_dialog.h"
#include "gui/password_dialogs.h"
#include "gui/qt_desktop.h"
#include "gui/qt_dialogs.h"
#include "gui/qt_tray_icon.h"
#include "gui/tool_dialog.h"
#include "gui/session_option_dialogs.h"
#include "platform/linux/command_client.h"
#include "platform/linux/display_probe.h"
#include "platform/linux/headless_dialogs.h"
#include "platform/linux/instance_lock.h"
#include "platform/linux/local_command_channel.h"
#include "platform/linux/open_file_limit.h"
#include "platform/linux/posix_file_store.h"
#include "platform/linux/posix_icmp_echo.h"
#include "platform/linux/posix_process_launcher.h"
#include "platform/linux/pty_virtual_port.h"
#include "platform/linux/pty_watcher.h"
#include "platform/linux/qt_host_resolver.h"
#include "platform/linux/qt_network_info.h"
#include "platform/linux/qt_serial_port.h"
#include "platform/linux/qt_socket_factory.h"
#include "platform/linux/qt_timer.h"
#include "platform/linux/systemd_command.h"
#include "platform/linux/systemd_service.h"
#include "platform/linux/system_clock.h"
#include "platform/linux/termination_signals.h"
#include "platform/linux/xdg_autostart.h"
#include "resources/language.h"
#include "resources/string_table.h"
#include "session/client_options_form.h"
#include "session/error_log.h"
#include "session/login_options_form.h"
#include "session/server_options_form.h"
#include "shell/command_line.h"
#include "shell/command_router.h"
#include "shell/headless_report.h"
#include "shell/main_window.h"
#include "shell/service_command.h"
#include "shell/session_list.h"
#include "shell/startup_entry.h"
#include "tools/ping_form.h"
#include "tools/resolve_form.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

#include <unistd.h>

namespace {

using namespace pvx;

QString environment(const char *name)
{
    return qEnvironmentVariable(name);
}

void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

bool hasDisplay()
{
    return !environment("DISPLAY").isEmpty() || !environment("WAYLAND_DISPLAY").isEmpty()
           || !environment("QT_QPA_PLATFORM").isEmpty();
}

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

QString configHome()
{
    const QString xdg = environment("XDG_CONFIG_HOME");
    return QDir::isAbsolutePath(xdg) ? xdg : environment("HOME") + QStringLiteral("/.config");
}

/// The home's path when it exists (created user-only when missing) and can
/// be written; otherwise why not.
platform::Result<QString> prepareHome(platform::FileStore &files, const QString &homeOption)
{
    const QString home = core::resolvePorvixHome(homeOption, environment);
    if (auto created = files.ensurePrivateDirectory(home); !created)
        return platform::makeError(created.error().code, QStringLiteral("the home folder cannot be created: ")
                                                             + created.error().detail);
    if (::access(QFile::encodeName(home).constData(), W_OK | X_OK) != 0)
        return platform::makeError(platform::ErrorCode::AccessDenied,
                                   QStringLiteral("the home folder cannot be written: ") + home);
    return home;
}

/// The lock that makes this run the one instance on `home`; when another
/// instance holds it, ErrorCode::Busy and the message that says so.
platform::Result<platform::InstanceLock> lockHome(const QString &home)
{
    auto lock = platform::InstanceLock::acquire(core::instanceLockPath(home));
    if (lock || lock.error().code != platform::ErrorCode::Busy)
        return lock;
    QString holder;
    if (const auto pid = platform::commandServerPid(core::commandSocketPath(home)))
        holder = QStringLiteral(" (process %1)").arg(*pid);
    return platform::makeError(platform::ErrorCode::Busy,
                               QStringLiteral("Porvix already runs on the home %1%2. "
                                              "Start it with --home DIR to run a second instance on another home.")
                                   .arg(home, holder));
}

/// Exit code 3 when another instance holds the home, else 1.
int refusedStart(const platform::Error &error)
{
    print(stderr, QStringLiteral("porvix: ") + error.detail + QLatin1Char('\n'));
    return error.code == platform::ErrorCode::Busy ? 3 : 1;
}

/// --send and --status: one request to the instance on the home, its answer
/// on standard output.
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

/// The manual beside the program, where it is installed, or in the source
/// tree of a build; empty when none is there.
QString findManual()
{
    const QString programDir = QCoreApplication::applicationDirPath();
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

/// The service of this program on `home`. Stopping a service may take as
/// long as systemd's own stop timeout; beyond that systemctl has hung.
platform::SystemdService serviceOn(platform::FileStore &files, const QString &home)
{
    using namespace std::chrono_literals;
    return platform::SystemdService(
        files, platform::SystemdService::setupFor(QCoreApplication::applicationFilePath(), home, environment),
        [](const QStringList &arguments) { return platform::runSystemctl(arguments, 120s); });
}

/// Everything both faces share, built in dependency order.
struct Program {
    Program(const QString &home, const QString &commandLineFile, platform::Dialogs &dialogs,
            platform::Desktop *desktop, shell::ShellForms forms, session::OptionDialogs optionDialogs)
        : autostart(files, configHome()),
          strings(resources::languageFromEnvironment()),
          log(files, launcher, clock, settings, core::errorLogPath(home),
              {.failed = [](const QString &why) {
                  print(stderr, QStringLiteral("porvix: ") + why + QLatin1Char('\n'));
              }}),
          sessions(session::SessionServices{{strings, dialogs, network, std::move(optionDialogs)},
                                            sockets, timers, ports, settings, log, pings},
                   [this] {
                       return session::SessionDevices{
                           std::make_unique<platform::QtSerialPort>(),
                           std::make_unique<platform::PtyVirtualPort>(
                               watcher, [this] { return ports.virtualPortDirectory; })};
                   }),
          window(shell::MainWindow::Services{strings, dialogs, files, autostart, desktop, timers, sessions, settings,
                                             optionTransfer, ports, environment, ::getuid(), std::move(forms),
                                             echo, resolver, launcher, clock},
                 shell::MainWindow::Paths{core::defaultConfigurationPath(home), commandLineFile,
                                          startupCommand(home), findManual()}),
          channel(core::commandSocketPath(home)),
          service(serviceOn(files, home))
    {
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

    static QString startupCommand(const QString &home)
    {
        // The default home is the one a logon session finds without help.
        const QString defaultHome = core::resolvePorvixHome({}, [](const char *name) {
            return qstrcmp(name, "PORVIX_HOME") == 0 ? QString() : environment(name);
        });
        return shell::startupCommandLine(QCoreApplication::applicationFilePath(), home, defaultHome);
    }

    platform::PosixFileStore files;
    platform::PosixProcessLauncher launcher;
    platform::SystemClock clock;
    platform::QtNetworkInfo network;
    platform::QtSocketFactory sockets;
    platform::QtTimerFactory timers;
    platform::PtyWatcher watcher;
    platform::PosixIcmpEcho echo;
    session::PingService pings{echo};
    platform::QtHostResolver resolver;
    platform::XdgAutostart autostart;
    resources::StringTable strings;
    session::ProgramSettings settings;
    session::OptionTransfer optionTransfer;
    core::PortMap ports;
    session::ErrorLog log;
    shell::SessionList sessions;
    shell::MainWindow window;
    shell::CommandRouter router{window, sessions};
    platform::LocalCommandChannel channel;
    platform::SystemdService service;
};

/// Runs `close` from the event loop at SIGTERM, SIGINT and SIGHUP; without the
/// handlers (a message says why) the signals end the program at once.
std::unique_ptr<platform::TerminationSignals> closeOnSignals(std::function<void()> close)
{
    auto installed = platform::TerminationSignals::install([close = std::move(close)](int) { close(); });
    if (!installed) {
        print(stderr, QStringLiteral("porvix: ") + installed.error().detail + QLatin1Char('\n'));
        return nullptr;
    }
    return std::move(*installed);
}

/// Runs the sessions without windows until SIGTERM, SIGINT or SIGHUP, saying
/// on standard error what happens.
int runHeadless(const shell::CommandLine &line, const QString &commandLineFile)
{
    platform::HeadlessDialogs dialogs;
    platform::PosixFileStore files;
    const auto home = prepareHome(files, line.home);
    if (!home) {
        print(stderr, QStringLiteral("porvix: ") + home.error().detail + QLatin1Char('\n'));
        return 1;
    }
    const auto lock = lockHome(*home);
    if (!lock)
        return refusedStart(lock.error());
    QDir::setCurrent(*home);
    Program program(*home, commandLineFile, dialogs, nullptr, {}, {});
    const shell::HeadlessReport report(program.window, program.sessions, *home, [](const QString &said) {
        print(stderr, said + QLatin1Char('\n'));
    });
    QObject::connect(&program.window, &shell::MainWindow::closed, QCoreApplication::instance(),
                     &QCoreApplication::quit, Qt::QueuedConnection);
    const auto signalHandlers = closeOnSignals([&program] { program.window.close(); });
    program.window.Form_Load();
    return QCoreApplication::exec();
}

/// Runs the main window.
int runGui(const shell::CommandLine &line, const QString &commandLineFile)
{
    QApplication::setQuitOnLastWindowClosed(false);
    gui::QtDialogs dialogs;
    gui::QtDesktop desktop;
    platform::PosixFileStore files;
    const auto home = prepareHome(files, line.home);
    if (!home) {
        print(stderr, QStringLiteral("porvix: ") + home.error().detail + QLatin1Char('\n'));
        QMessageBox::critical(nullptr, QStringLiteral("Porvix"), home.error().detail);
        return 1;
    }
    const auto lock = lockHome(*home);
    if (!lock) {
        QMessageBox::critical(nullptr, QStringLiteral("Porvix"), lock.error().detail);
        return refusedStart(lock.error());
    }
    QDir::setCurrent(*home);
    shell::ShellForms forms{
        [](shell::SetPasswordForm &form) { gui::SetPasswordDialog(form, QApplication::activeWindow()).exec(); },
        [](shell::EnterPasswordForm &form) { gui::EnterPasswordDialog(form, QApplication::activeWindow()).exec(); },
        [](shell::OptionsForm &form) { gui::OptionsDialog(form, QApplication::activeWindow()).exec(); },
        [](about::AboutForm &form) { gui::AboutDialog(form, QApplication::activeWindow()).exec(); },
        [](tools::PingForm &form) { gui::PingDialog(form, QApplication::activeWindow()).exec(); },
        [](tools::ResolveForm &form) { gui::ResolveDialog(form, QApplication::activeWindow()).exec(); },
    };
    session::OptionDialogs optionDialogs{
        [](session::ServerOptionsForm &form) { gui::ServerOptionsDialog(form, QApplication::activeWindow()).exec(); },
        [](session::ClientOptionsForm &form) { gui::ClientOptionsDialog(form, QApplication::activeWindow()).exec(); },
        [](session::LoginOptionsForm &form) { gui::LoginOptionsDialog(form, QApplication::activeWindow()).exec(); },
    };
    gui::QtTrayIcon tray;
    Program program(*home, commandLineFile, dialogs, &desktop, std::move(forms), std::move(optionDialogs));
    program.window.setTrayIcon(&tray);
    gui::MainFrame frame(program.window, program.sessions, dialogs);
    QObject::connect(&program.window, &shell::MainWindow::closed, QCoreApplication::instance(),
                     &QCoreApplication::quit, Qt::QueuedConnection);
    const auto signalHandlers = closeOnSignals([&frame] { frame.requestClose(); });
    program.window.Form_Load();
    return QApplication::exec();
}

/// Installs or removes the service and says how that went: in message boxes,
/// or on standard output (failures on standard error) headless. Neither
/// the home nor its files are touched.
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

} // namespace

int main(int argc, char **argv)
{
    platform::raiseOpenFileLimit();
    shell::CommandLine line = shell::parseCommandLine(argumentsOf(argc, argv));
    const auto usageError = [](const QString &error) {
        print(stderr, QStringLiteral("porvix: ") + error + QStringLiteral("\n\n") + shell::usageText());
        return 2;
    };
    if (!line.error.isEmpty())
        return usageError(line.error);
    if (line.help) {
        print(stdout, shell::usageText());
        return 0;
    }
    if (line.version) {
        print(stdout, QStringLiteral("porvix " PVX_VERSION "\n"));
        return 0;
    }
    // Not a start: these work beside the running instance.
    if (line.send || line.status)
        return runClient(line);

    // Without a display a widgets application cannot even start.
    const bool headless = line.headless || !hasDisplay();
    // A display that is named but gone makes the toolkit abort. Running on
    // without windows instead would leave an instance nobody sees holding
    // the home.
    if (!headless && environment("QT_QPA_PLATFORM").isEmpty()) {
        if (const QString display = platform::unreachableDisplay(environment); !display.isEmpty()) {
            print(stderr, QStringLiteral("porvix: cannot open the display ") + display
                              + QStringLiteral("; --headless runs Porvix without windows\n"));
            return 1;
        }
    }
    const std::unique_ptr<QCoreApplication> app =
        headless ? std::make_unique<QCoreApplication>(argc, argv) : std::make_unique<QApplication>(argc, argv);
    if (!headless) {
        // Qt has taken its own options (-style, -platform ...) out by now.
        line = shell::parseCommandLine(QCoreApplication::arguments().mid(1));
        if (!line.error.isEmpty())
            return usageError(line.error);
    }
    if (const auto command = shell::serviceSwitch(line.rest))
        return runServiceSwitch(*command, line, headless);
    // A file named relative to where the program was started.
    const QString file = line.rest.isEmpty() ? QString() : QFileInfo(line.rest).absoluteFilePath();
    return headless ? runHeadless(line, file) : runGui(line, file);
}
