// The steps every run shares, and the headless start.
#include "start.h"

#include "console.h"
#include "home.h"
#include "program.h"
#include "requests.h"

#include "platform/linux/headless_dialogs.h"
#include "platform/linux/posix_file_store.h"
#include "platform/linux/termination_signals.h"
#include "shell/headless_report.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace pvx::app {

namespace {

/// Runs the sessions without windows until SIGTERM, SIGINT or SIGHUP, saying
/// on standard error what happens.
int runHeadless(const shell::CommandLine &line, const QString &commandLineFile, const QString &programFile)
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
    Program program(*home, commandLineFile, programFile, dialogs, nullptr, {}, {});
    const shell::HeadlessReport report(program.window, program.sessions, *home, [](const QString &said) {
        print(stderr, said + QLatin1Char('\n'));
    });
    QObject::connect(&program.window, &shell::MainWindow::closed, QCoreApplication::instance(),
                     &QCoreApplication::quit, Qt::QueuedConnection);
    const auto signalHandlers = closeOnSignals([&program] { program.window.close(); });
    program.window.scheduleStartup();
    return QCoreApplication::exec();
}

} // namespace

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

int usageError(const QString &error)
{
    print(stderr, QStringLiteral("porvix: ") + error + QStringLiteral("\n\n") + shell::usageText());
    return 2;
}

std::optional<int> answerWithoutStart(const shell::CommandLine &line)
{
    if (!line.error.isEmpty())
        return usageError(line.error);
    if (line.help) {
        print(stdout, shell::usageText());
        return 0;
    }
    if (!line.unknownSwitch.isEmpty())
        return usageError(QStringLiteral("unknown option ") + line.unknownSwitch);
    if (line.version) {
        print(stdout, QStringLiteral("porvix " PVX_VERSION "\n"));
        return 0;
    }
    // Not a start: these work beside the running instance.
    if (line.send || line.status)
        return runClient(line);
    if (line.monitor)
        return runMonitor(line);
    return std::nullopt;
}

bool showsWindows(const shell::CommandLine &line)
{
    // Without a display a widgets application cannot even start.
    return !line.headless
           && (!environment("DISPLAY").isEmpty() || !environment("WAYLAND_DISPLAY").isEmpty()
               || !environment("QT_QPA_PLATFORM").isEmpty());
}

std::unique_ptr<platform::TerminationSignals> closeOnSignals(std::function<void()> close)
{
    auto installed = platform::TerminationSignals::install([close = std::move(close)](int) { close(); });
    if (!installed) {
        print(stderr, QStringLiteral("porvix: ") + installed.error().detail + QLatin1Char('\n'));
        return nullptr;
    }
    return std::move(*installed);
}

int startHeadless(int argc, char **argv, const shell::CommandLine &line, const QString &programFile)
{
    // Qt's own poll loop wakes for less than GLib's, and nothing without
    // windows needs GLib. The variable is not left for the programs started.
    const bool alreadySet = qEnvironmentVariableIsSet("QT_NO_GLIB");
    qputenv("QT_NO_GLIB", "1");
    const QCoreApplication application(argc, argv);
    if (!alreadySet)
        qunsetenv("QT_NO_GLIB");

    if (const auto command = shell::serviceSwitch(line.rest)) {
        return runServiceSwitch(*command, line, programFile, [](const shell::ServiceMessage &message) {
            print(message.failure ? stderr : stdout, message.text + QLatin1Char('\n'));
        });
    }
    // A file named relative to where the program was started.
    const QString file = line.rest.isEmpty() ? QString() : QFileInfo(line.rest).absoluteFilePath();
    return runHeadless(line, file, programFile);
}

} // namespace pvx::app
