#include "platform/linux/private_folder.h"

#include "platform/linux/posix_error.h"

#include <QFile>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace pvx::platform {

Result<void> checkPrivateFolder(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return posixError(errno, path);
    if (!S_ISDIR(info.st_mode))
        return posixError(ENOTDIR, path);
    if (info.st_uid != ::geteuid())
        return makeError(ErrorCode::AccessDenied, path + QStringLiteral(" belongs to another user"));
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return makeError(ErrorCode::AccessDenied, path + QStringLiteral(" is writable by group or others (mode %1)")
                                                          .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0')));
    return {};
}

} // namespace pvx::platform
