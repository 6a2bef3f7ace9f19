#pragma once

#include "shell/command_line.h"
#include "shell/service_command.h"

#include <functional>

namespace pvx::app {

// Runs that are not starts: they work beside the running instance and take
// neither its home nor its lock.

/// --send and --status: one request to the instance on the home, its answer
/// on standard output; the exit code says how it went.
int runClient(const shell::CommandLine &line);

/// --monitor: the trace of a session of the instance on the home, on
/// standard output until SIGINT or SIGTERM (exit 0, quietly) or the
/// instance's end (0); 1 when no session has the topic, 2 when no instance
/// answers.
int runMonitor(const shell::CommandLine &line);

/// Installs or removes the service of `programFile` and says through `say`
/// how that went. Neither the home nor its files are touched.
int runServiceSwitch(const shell::ServiceSwitch &command, const shell::CommandLine &line,
                     const QString &programFile, const std::function<void(const shell::ServiceMessage &)> &say);

} // namespace pvx::app
