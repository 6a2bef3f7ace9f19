#include "shell/service_command.h"

#include "platform/service_control.h"
#include "resources/string_table.h"

namespace pvx::shell {

namespace {

const QLatin1String kDisplayName("Porvix");
constexpr int kInstalled = 5061;
constexpr int kNotInstalled = 5062;
constexpr int kUninstalled = 5063;
constexpr int kNotUninstalled = 5064;
constexpr int kEnableLater = 5135;

} // namespace

int runServiceCommand(const ServiceSwitch &command, platform::ServiceControl &service,
                      const resources::StringTable &strings, const std::function<void(const ServiceMessage &)> &show)
{
    const auto said = [&](int id) { return kDisplayName + QLatin1Char(' ') + strings.text(id); };
    const auto failed = [&](int id, const platform::Error &error, platform::MessageIcon icon) {
        show({said(id) + QLatin1Char('\n') + error.detail, true, icon});
        return 1;
    };

    if (command.kind == ServiceSwitch::Kind::Uninstall) {
        if (const auto removed = service.uninstall(); !removed)
            return failed(kNotUninstalled, removed.error(), platform::MessageIcon::None);
        if (!command.silent)
            show({said(kUninstalled)});
        return 0;
    }

    const bool hidden = command.kind == ServiceSwitch::Kind::InstallHidden;
    if (const auto installed = service.install(hidden); !installed)
        return failed(kNotInstalled, installed.error(), platform::MessageIcon::Critical);
    if (hidden || command.silent)
        return 0;
    QString text = said(kInstalled);
    // Nothing has enabled the service yet: say how to, once systemd runs.
    // The command has a line of its own, so that no box breaks it.
    if (!service.managerRunning())
        text += QLatin1Char('\n') + strings.text(kEnableLater) + QLatin1Char('\n') + service.enableCommand();
    show({text});
    return 0;
}

} // namespace pvx::shell
