#pragma once

#include <QString>

namespace pvx::platform {

/// Which service manager runs the unit: the machine's or the user's own.
enum class UnitScope {
    System,
    User,
};

/// What a "porvix.service" unit is made from.
struct SystemdUnit {
    /// The absolute path of the program the service runs.
    QString program;
    /// The home the service runs on.
    QString home;
    UnitScope scope = UnitScope::User;
    /// Installed hidden: the service does not wait for the network.
    bool hidden = false;
};

/// The unit file's text: a notifying service that runs the program headless
/// on the home, restarts it when it fails unless another instance holds the
/// home (exit status 3), and starts with the system (System) or the user's
/// session (User). A system unit that is not hidden waits for the network.
QString systemdUnitText(const SystemdUnit &unit);

/// `argument` as one word of an ExecStart= line: in double quotes, with
/// backslash, quote and control characters escaped, and '%' and '$' doubled
/// so that neither a specifier nor a variable is expanded.
QString systemdQuotedArgument(const QString &argument);

} // namespace pvx::platform
