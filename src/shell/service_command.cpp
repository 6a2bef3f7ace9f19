#include "shell/service_command.h"

#include "platform/service_control.h"
#include "resources/string_table.h"

namespace pvx::shell {

namespace {

const QLatin1String kDisplayName("Porvix");
using resources::StringId;

} // namespace

int runServiceCommand(const ServiceSwitch &command, platform::ServiceControl &service,
                      const resources::StringTable &strings, const std::function<void(const ServiceMessage &)> &show)
{
    const auto said = [&](StringId id) { return kDisplayName + QLatin1Char(' ') + strings.text(id); };
    const auto failed = [&](StringId id, const platform::Error &error, platform::MessageIcon icon) {
        show({said(id) + QLatin1Char('\n') + error.detail, true, icon});
        return 1;
    };

    if (command.kind == ServiceSwitch::Kind::Uninstall) {
        if (const auto removed = service.uninstall(); !removed)
            return failed(StringId::ServiceNotUninstalled, removed.error(), platform::MessageIcon::None);
        if (!command.silent)
            show({said(StringId::ServiceUninstalled)});
        return 0;
    }

    const bool hidden = command.kind == ServiceSwitch::Kind::InstallHidden;
    if (const auto installed = service.install(hidden); !installed)
        return failed(StringId::ServiceNotInstalled, installed.error(), platform::MessageIcon::Critical);
    if (hidden || command.silent)
        return 0;
    QString text = said(StringId::ServiceInstalled);
    // Nothing has enabled the service yet: say how to, once systemd runs.
    // The command has a line of its own, so that no box breaks it.
    if (!service.managerRunning())
        text += QLatin1Char('\n') + strings.text(StringId::EnableServiceLater) + QLatin1Char('\n')
                + service.enableCommand();
    show({text});
    return 0;
}

} // namespace pvx::shell
