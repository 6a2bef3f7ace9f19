#include "platform/linux/posix_error.h"

#include <cerrno>
#include <cstring>

namespace pvx::platform {

namespace {

ErrorCode codeFor(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
        return ErrorCode::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return ErrorCode::AccessDenied;
    case EBUSY:
    case ETXTBSY:
    case EEXIST:
    case EWOULDBLOCK:
        return ErrorCode::Busy;
    case EISDIR:
    case EINVAL:
    case ENAMETOOLONG:
    case ELOOP:
        return ErrorCode::InvalidArgument;
    case ENOSYS:
    case EOPNOTSUPP:
        return ErrorCode::Unsupported;
    case ETIMEDOUT:
        return ErrorCode::TimedOut;
    default:
        return ErrorCode::IoError;
    }
}

} // namespace

Error posixError(int errorNumber, const QString &what)
{
    return makeError(codeFor(errorNumber),
                     what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errorNumber)));
}

} // namespace pvx::platform
