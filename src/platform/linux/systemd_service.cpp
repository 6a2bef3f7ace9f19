#include "platform/linux/systemd_service.h"

#include "platform/file_store.h"
#include "platform/linux/posix_error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <utility>

#include <sys/stat.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace pvx::platform {

namespace {

const QLatin1String kUnitName("porvix.service");

} // namespace

SystemdService::Setup SystemdService::setupFor(const QString &program, const QString &home,
                                               const core::EnvironmentLookup &environment)
{
    Setup setup;
    setup.unit.program = program;
    setup.unit.home = home;
    setup.unit.scope = ::geteuid() == 0 ? UnitScope::System : UnitScope::User;
    const QString chosen = environment("PORVIX_UNIT_DIR");
    if (!chosen.isEmpty()) {
        setup.folder = QDir::cleanPath(QDir(chosen).absolutePath());
        return setup;
    }
    if (setup.unit.scope == UnitScope::System) {
        setup.folder = QStringLiteral("/etc/systemd/system");
    } else {
        const QString configHome = environment("XDG_CONFIG_HOME");
        setup.folder = QDir::cleanPath((QDir::isAbsolutePath(configHome) ? configHome
                                                                          : environment("HOME") + QStringLiteral("/.config"))
                                       + QStringLiteral("/systemd/user"));
    }
    setup.managerRunning = ::sd_booted() > 0;
    return setup;
}

SystemdService::SystemdService(FileStore &files, Setup setup, Systemctl systemctl)
    : m_files(files), m_setup(std::move(setup)), m_systemctl(std::move(systemctl))
{
}

QString SystemdService::unitPath() const
{
    return m_setup.folder + QLatin1Char('/') + kUnitName;
}

QStringList SystemdService::managerArguments(QStringList arguments) const
{
    if (m_setup.unit.scope == UnitScope::User)
        arguments.prepend(QStringLiteral("--user"));
    return arguments;
}

Result<void> SystemdService::install(bool hidden)
{
    SystemdUnit unit = m_setup.unit;
    unit.hidden = hidden;
    if (Result<void> folder = m_files.ensurePrivateDirectory(m_setup.folder); !folder)
        return folder;
    const QString path = unitPath();
    if (Result<void> written = m_files.writeAtomically(path, systemdUnitText(unit).toUtf8()); !written)
        return written;
    // systemd warns about a unit that others cannot read; it holds no secret.
    if (::chmod(QFile::encodeName(path).constData(), 0644) != 0)
        return posixError(errno, path);
    if (!m_setup.managerRunning)
        return {};
    // The manager reads the new file before it can enable it.
    if (Result<void> reloaded = m_systemctl(managerArguments({QStringLiteral("daemon-reload")})); !reloaded)
        return reloaded;
    return m_systemctl(managerArguments({QStringLiteral("enable"), kUnitName}));
}

Result<void> SystemdService::uninstall()
{
    const QString path = unitPath();
    if (!QFileInfo(path).isFile())
        return makeError(ErrorCode::NotFound, path + QStringLiteral(": not installed"));
    if (m_setup.managerRunning) {
        // A service that is still running keeps its file until it has stopped.
        if (Result<void> disabled = m_systemctl(managerArguments({QStringLiteral("disable"), QStringLiteral("--now"), kUnitName}));
            !disabled)
            return disabled;
    }
    if (Result<void> removed = m_files.remove(path); !removed)
        return removed;
    if (m_setup.managerRunning) {
        // Only tidies the manager's view: the service is gone either way.
        (void)m_systemctl(managerArguments({QStringLiteral("daemon-reload")}));
    }
    return {};
}

QString SystemdService::enableCommand() const
{
    return QStringLiteral("systemctl ")
           + managerArguments({QStringLiteral("enable"), QStringLiteral("--now"), QStringLiteral("porvix")})
                 .join(QLatin1Char(' '));
}

void SystemdService::notifyReady()
{
    ::sd_notify(0, "READY=1");
}

void SystemdService::notifyStopping()
{
    ::sd_notify(0, "STOPPING=1");
}

} // namespace pvx::platform
