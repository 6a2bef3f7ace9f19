// The entry point and composition root of both faces: the GUI (porvix) and the headless face
// (porvix --headless, or no display). Both build the same platform objects,
// sessions and main-window model; only the dialogs and the views differ.
#include "console.h"
#include "home.h"
#include "program.h"
#include "requests.h"

#include "about/about_form.h"
#include "gui/about_dialog.h"
#include "gui/main_frame.h"
#include "gui/options_dialog.h"
#include "gui/password_dialogs.h"
#include "gui/program_icon.h"
#include "gui/qt_desktop.h"
#include "gui/qt_dialogs.h"
#include "gui/qt_tray_icon.h"
#include "gui/session_option_dialogs.h"
#include "gui/tool_dialog.h"
#include "platform/linux/display_probe.h"
#include "platform/linux/headless_dialogs.h"
#include "platform/linux/open_file_limit.h"
#include "platform/linux/posix_file_store.h"
#include "platform/linux/termination_signals.h"
#include "session/client_options_form.h"
#include "session/login_options_form.h"
#include "session/server_options_form.h"
#include "shell/command_line.h"
#include "shell/headless_report.h"
#include "tools/ping_form.h"
#include "tools/resolve_form.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include <functional>
#include <memory>

namespace {

using namespace pvx;
using namespace pvx::app;

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
        // Every window, message boxes included, shows the program's icon; the
        // desktop matches the windows to the installed desktop entry.
        QApplication::setWindowIcon(gui::programIcon());
        QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Porvix"));
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
