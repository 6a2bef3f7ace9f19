#pragma once

#include "core/environment.h"
#include "platform/linux/systemd_unit.h"
#include "platform/service_control.h"

#include <QStringList>

#include <functional>

namespace pvx::platform {

class FileStore;

/// The service as the systemd unit "porvix.service": a unit file written to
/// the unit folder, enabled and disabled through systemctl where systemd
/// runs, and readiness told through the notification socket systemd gives
/// a Type=notify service.
class SystemdService final : public ServiceControl {
public:
    /// Runs systemctl with these arguments and waits for it.
    using Systemctl = std::function<Result<void>(const QStringList &arguments)>;

    struct Setup {
        /// The unit to install (its `hidden` is set by each install).
        SystemdUnit unit;
        /// The folder the unit file goes into.
        QString folder;
        /// systemd runs and reads `folder`: installs enable and removals
        /// disable through it.
        bool managerRunning = false;
    };

    /// The setup for this process: a system unit in /etc/systemd/system when
    /// run by root, else a user unit in $XDG_CONFIG_HOME/systemd/user;
    /// $PORVIX_UNIT_DIR names another folder, which systemd is then left
    /// out of.
    static Setup setupFor(const QString &program, const QString &home, const core::EnvironmentLookup &environment);

    SystemdService(FileStore &files, Setup setup, Systemctl systemctl);

    Result<void> install(bool hidden) override;
    Result<void> uninstall() override;
    bool managerRunning() const override { return m_setup.managerRunning; }
    QString enableCommand() const override;
    void notifyReady() override;
    void notifyStopping() override;

    /// Where the unit file is written.
    QString unitPath() const;

private:
    /// systemctl's arguments for the unit's own manager.
    QStringList managerArguments(QStringList arguments) const;

    FileStore &m_files;
    Setup m_setup;
    Systemctl m_systemctl;
};

} // namespace pvx::platform
