#include "platform/linux/trace_log_file.h"

#include "platform/linux/posix_error.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pvx::platform {

namespace {

Error refused(const QString &path, const char *why)
{
    return makeError(ErrorCode::AccessDenied, path + QStringLiteral(": ") + QLatin1String(why));
}

// Whoever may write into the folder could swap the file for a link to
// one of the user's files between two rotations.
Result<void> checkFolder(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    struct stat info {};
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0)
        return posixError(errno, folder);
    if (!S_ISDIR(info.st_mode))
        return posixError(ENOTDIR, folder);
    if ((info.st_mode & S_IWOTH) != 0 && (info.st_mode & S_ISVTX) == 0)
        return refused(folder, "a folder others may write to; not used for a trace");
    return {};
}

struct Opened {
    UniqueFd fd;
    qint64 size;
};

Result<Opened> openForAppending(const QString &path)
{
    UniqueFd fd(::open(QFile::encodeName(path).constData(),
                       O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW,
                       S_IRUSR | S_IWUSR));
    if (!fd.valid())
        return errno == ELOOP ? refused(path, "a symbolic link; not followed") : posixError(errno, path);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        return posixError(errno, path);
    if (!S_ISREG(info.st_mode))
        return makeError(ErrorCode::InvalidArgument, path + QStringLiteral(": not a regular file"));
    if (info.st_uid != ::geteuid())
        return refused(path, "a file of another user");
    return Opened{std::move(fd), info.st_size};
}

} // namespace

Result<std::unique_ptr<TraceLogFile>> TraceLogFile::open(const QString &path, qint64 limit)
{
    if (Result<void> folder = checkFolder(path); !folder)
        return folder.error();
    Result<Opened> opened = openForAppending(path);
    if (!opened)
        return opened.error();
    return std::unique_ptr<TraceLogFile>(new TraceLogFile(path, std::move(opened->fd), opened->size, limit));
}

TraceLogFile::TraceLogFile(QString path, UniqueFd fd, qint64 size, qint64 limit)
    : m_path(std::move(path)), m_fd(std::move(fd)), m_size(size), m_limit(limit)
{
}

Result<void> TraceLogFile::write(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype remaining = bytes.size();
    while (remaining > 0) {
        const ssize_t written = ::write(m_fd.get(), data, static_cast<std::size_t>(remaining));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return posixError(written < 0 ? errno : EIO, m_path);
        data += written;
        remaining -= written;
        m_size += written;
    }
    return {};
}

Result<void> TraceLogFile::moveAsideWhenFull()
{
    if (m_size <= m_limit)
        return {};
    const QString older = m_path + QStringLiteral(".1");
    if (::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(older).constData()) != 0)
        return posixError(errno, m_path + QStringLiteral(" cannot be moved to ") + older);
    Result<Opened> fresh = openForAppending(m_path);
    if (!fresh)
        return fresh.error();
    m_fd = std::move(fresh->fd);
    m_size = fresh->size;
    return {};
}

} // namespace pvx::platform
