#include "core/porvix_home.h"

#include <QDir>

namespace pvx::core {

QString resolvePorvixHome(const QString &homeOption, const EnvironmentLookup &environment)
{
    // A relative home would move with the working directory, and the
    // autostart entry passes the home on to a process started elsewhere.
    const auto absolute = [](const QString &path) { return QDir::cleanPath(QDir(path).absolutePath()); };
    if (!homeOption.isEmpty())
        return absolute(homeOption);
    const QString porvixHome = environment("PORVIX_HOME");
    if (!porvixHome.isEmpty())
        return absolute(porvixHome);
    const QString configHome = environment("XDG_CONFIG_HOME");
    if (QDir::isAbsolutePath(configHome))
        return QDir::cleanPath(configHome + QStringLiteral("/porvix"));
    return QDir::cleanPath(environment("HOME") + QStringLiteral("/.config/porvix"));
}

QString defaultConfigurationPath(const QString &home)
{
    return QDir(home).filePath(QStringLiteral("default.pvx"));
}

QString errorLogPath(const QString &home)
{
    return QDir(home).filePath(QStringLiteral("errorlog.txt"));
}

QString commandSocketPath(const QString &home)
{
    return QDir(home).filePath(QStringLiteral("control.sock"));
}

QString instanceLockPath(const QString &home)
{
    return QDir(home).filePath(QStringLiteral("porvix.lock"));
}

} // namespace pvx::core
