#include "platform/linux/instance_lock.h"

#include "platform/linux/posix_error.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>

namespace pvx::platform {

Result<InstanceLock> InstanceLock::acquire(const QString &path)
{
    UniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid())
        return posixError(errno, QStringLiteral("Cannot open the lock file ") + path);
    int locked;
    do {
        locked = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK)
            return makeError(ErrorCode::Busy, QStringLiteral("Another process holds ") + path);
        return posixError(error, QStringLiteral("Cannot lock ") + path);
    }
    return InstanceLock(std::move(fd));
}

} // namespace pvx::platform
