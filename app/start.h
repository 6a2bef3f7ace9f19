#pragma once

#include "shell/command_line.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace pvx::platform {
class TerminationSignals;
}

namespace pvx::app {

// What both programs do before and around a start: the porvix users run,
// and the headless program it hands headless runs to.

/// The arguments after the program's name.
QStringList argumentsOf(int argc, char **argv);

/// Says what was wrong with the command line, then the usage; exit code 2.
int usageError(const QString &error);

/// Answers a run that starts nothing: a usage error (an unknown
/// single-dash word included), --help, --version, --send, --status and
/// --monitor. Its
/// exit code, or nothing when the run is a start.
std::optional<int> answerWithoutStart(const shell::CommandLine &line);

/// Whether the run shows windows: not with --headless, nor without a display.
bool showsWindows(const shell::CommandLine &line);

/// Runs `close` from the event loop at SIGTERM, SIGINT and SIGHUP; without
/// the handlers (a message says why) the signals end the program at once.
std::unique_ptr<platform::TerminationSignals> closeOnSignals(std::function<void()> close);

/// A headless start: the service switches, or the sessions without windows
/// until SIGTERM, SIGINT or SIGHUP. `programFile` is the porvix users run:
/// what the service unit and the logon entry name.
int startHeadless(int argc, char **argv, const shell::CommandLine &line, const QString &programFile);

} // namespace pvx::app
