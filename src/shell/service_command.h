#pragma once

#include "platform/dialogs.h"
#include "shell/command_line.h"

#include <QString>

#include <functional>

namespace pvx::platform {
class ServiceControl;
}

namespace pvx::resources {
class StringTable;
}

namespace pvx::shell {

/// One text that a service command shows.
struct ServiceMessage {
    QString text;
    /// A failure: shown also in a silent run, and on standard error headless.
    bool failure = false;
    platform::MessageIcon icon = platform::MessageIcon::None;
};

/// Carries out the service switch: installs or removes the service and
/// shows how that went (a silent run shows failures only; a hidden install
/// never shows its success). Returns the program's exit status: 0 when the
/// command succeeded, 1 when it failed.
int runServiceCommand(const ServiceSwitch &command, platform::ServiceControl &service,
                      const resources::StringTable &strings, const std::function<void(const ServiceMessage &)> &show);

} // namespace pvx::shell
