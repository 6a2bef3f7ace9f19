#pragma once

#include "core/environment.h"

#include <QString>

namespace pvx::core {

/// The folder that holds the configuration file, the error log and the
/// command socket: `homeOption` (the value of --home) when given, else
/// $PORVIX_HOME, else $XDG_CONFIG_HOME/porvix, else $HOME/.config/porvix.
/// Empty values count as unset, and so does a relative $XDG_CONFIG_HOME. The
/// result is cleaned ("a//b/" gives "a/b"); a relative --home or $PORVIX_HOME
/// is taken from the current directory.
QString resolvePorvixHome(const QString &homeOption, const EnvironmentLookup &environment);

/// "default.pvx" in the home: the file loaded at start and saved at exit.
QString defaultConfigurationPath(const QString &home);

/// "errorlog.txt" in the home.
QString errorLogPath(const QString &home);

/// "control.sock" in the home: the socket through which other programs send
/// commands to the instance running on that home.
QString commandSocketPath(const QString &home);

/// "porvix.lock" in the home: held by the instance running on that home.
QString instanceLockPath(const QString &home);

} // namespace pvx::core
