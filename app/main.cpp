// The entry point of porvix and the GUI's composition root. Headless runs go
// to the headless program built without the widgets (porvix-headless), so a
// server's process maps no GUI libraries; both build the same platform
// objects, sessions and main-window model, only the dialogs and views differ.
#include "console.h"
#include "home.h"
#include "program.h"
#include "requests.h"
#include "start.h"

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
#include "platform/linux/open_file_limit.h"
#include "platform/linux/posix_file_store.h"
#include "platform/linux/termination_signals.h"
#include "session/client_options_form.h"
#include "session/login_options_form.h"
#include "session/server_options_form.h"
#include "shell/command_line.h"
#include "tools/ping_form.h"
#include "tools/resolve_form.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include <unistd.h>

#include <vector>

namespace {

using namespace pvx;
using namespace pvx::app;

/// Hands a headless run to porvix-headless beside this program (a build) or
/// where it is installed, keeping the process; returns only when there is
/// none to run, and then this program runs it itself.
void handOverHeadless(char **argv, const QString &programFile)
{
    const QString programDir = QFileInfo(programFile).absolutePath();
    const QString candidates[] = {
        programDir + QStringLiteral("/porvix-headless"),
        programDir + QStringLiteral("/" PVX_HEADLESS_FROM_BIN "/porvix-headless"),
    };
    const QByteArray program = QFile::encodeName(programFile);
    // porvix-headless PROGRAM ARGUMENTS...: what ps shows stays the name
    // this program was started by.
    std::vector<char *> arguments{argv[0], const_cast<char *>(program.constData())};
    for (char **argument = argv + 1; *argument; ++argument)
        arguments.push_back(*argument);
    arguments.push_back(nullptr);
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).isExecutable())
            ::execv(QFile::encodeName(candidate).constData(), arguments.data());
    }
}

/// Runs the main window.
int runGui(const shell::CommandLine &line, const QString &commandLineFile, const QString &programFile)
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
    Program program(*home, commandLineFile, programFile, dialogs, &desktop, std::move(forms), std::move(optionDialogs));
    program.window.setTrayIcon(&tray);
    gui::MainFrame frame(program.window, program.sessions, dialogs,
                         {program.strings, dialogs, program.files, program.timers});
    QObject::connect(&program.window, &shell::MainWindow::closed, QCoreApplication::instance(),
                     &QCoreApplication::quit, Qt::QueuedConnection);
    const auto signalHandlers = closeOnSignals([&frame] { frame.requestClose(); });
    program.window.scheduleStartup();
    return QApplication::exec();
}

} // namespace

int main(int argc, char **argv)
{
    platform::raiseOpenFileLimit();
    shell::CommandLine line = shell::parseCommandLine(argumentsOf(argc, argv));
    const bool windows = showsWindows(line);
    // The toolkit takes its own single-dash options (-style, -platform ...)
    // first; the words it leaves are judged below.
    if (windows)
        line.unknownSwitch.clear();
    if (const auto answered = answerWithoutStart(line))
        return *answered;

    const QString programFile = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (!windows) {
        handOverHeadless(argv, programFile);
        return startHeadless(argc, argv, line, programFile);
    }
    // A display that is named but gone makes the toolkit abort. Running on
    // without windows instead would leave an instance nobody sees holding
    // the home.
    if (environment("QT_QPA_PLATFORM").isEmpty()) {
        if (const QString display = platform::unreachableDisplay(environment); !display.isEmpty()) {
            print(stderr, QStringLiteral("porvix: cannot open the display ") + display
                              + QStringLiteral("; --headless runs Porvix without windows\n"));
            return 1;
        }
    }
    const QApplication application(argc, argv);
    // Every window, message boxes included, shows the program's icon; the
    // desktop matches the windows to the installed desktop entry.
    QApplication::setWindowIcon(gui::programIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Porvix"));
    // Qt has taken its own options (-style, -platform ...) out by now.
    line = shell::parseCommandLine(QCoreApplication::arguments().mid(1));
    if (const auto answered = answerWithoutStart(line))
        return *answered;
    if (const auto command = shell::serviceSwitch(line.rest)) {
        gui::QtDialogs dialogs;
        return runServiceSwitch(*command, line, programFile, [&dialogs](const shell::ServiceMessage &message) {
            dialogs.messageBox(message.text, {}, platform::MessageButtons::Ok, message.icon);
        });
    }
    // A file named relative to where the program was started.
    const QString file = line.rest.isEmpty() ? QString() : QFileInfo(line.rest).absoluteFilePath();
    return runGui(line, file, programFile);
}
