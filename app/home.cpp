// The Porvix home a start runs on, and the lock that keeps it to one instance.
#include "home.h"

#include "console.h"
#include "core/porvix_home.h"
#include "platform/file_store.h"
#include "platform/linux/command_client.h"
#include "platform/linux/private_folder.h"

#include <QFile>

#include <unistd.h>

namespace pvx::app {

platform::Result<QString> prepareHome(platform::FileStore &files, const QString &homeOption)
{
    const QString home = core::resolvePorvixHome(homeOption, environment);
    if (auto created = files.ensurePrivateDirectory(home); !created)
        return platform::makeError(created.error().code, QStringLiteral("the home folder cannot be created: ")
                                                             + created.error().detail);
    // Whoever else may write into the home can plant links in place of the
    // settings and the log, and have them written where they choose.
    if (auto trusted = platform::checkPrivateFolder(home); !trusted)
        return platform::makeError(trusted.error().code,
                                   QStringLiteral("the home folder is refused: ") + trusted.error().detail
                                       + QStringLiteral("; it must be yours alone (chmod 700, as its owner)"));
    if (::access(QFile::encodeName(home).constData(), W_OK | X_OK) != 0)
        return platform::makeError(platform::ErrorCode::AccessDenied,
                                   QStringLiteral("the home folder cannot be written: ") + home);
    return home;
}

platform::Result<platform::InstanceLock> lockHome(const QString &home)
{
    auto lock = platform::InstanceLock::acquire(core::instanceLockPath(home));
    if (lock || lock.error().code != platform::ErrorCode::Busy)
        return lock;
    QString holder;
    if (const auto pid = platform::commandServerPid(core::commandSocketPath(home)))
        holder = QStringLiteral(" (process %1)").arg(*pid);
    return platform::makeError(platform::ErrorCode::Busy,
                               QStringLiteral("Porvix already runs on the home %1%2. "
                                              "Start it with --home DIR to run a second instance on another home.")
                                   .arg(home, holder));
}

int refusedStart(const platform::Error &error)
{
    print(stderr, QStringLiteral("porvix: ") + error.detail + QLatin1Char('\n'));
    return error.code == platform::ErrorCode::Busy ? 3 : 1;
}

} // namespace pvx::app
