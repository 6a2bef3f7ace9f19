#pragma once

#include "shell/command_line.h"

namespace pvx::app {

// Runs that are not starts: they work beside the running instance and take
// neither its home nor its lock.

/// --send and --status: one request to the instance on the home, its answer
/// on standard output; the exit code says how it went.
int runClient(const shell::CommandLine &line);

/// Installs or removes the service and says how that went: in message boxes,
/// or on standard output (failures on standard error) headless. Neither
/// the home nor its files are touched.
int runServiceSwitch(const shell::ServiceSwitch &command, const shell::CommandLine &line, bool headless);

} // namespace pvx::app
