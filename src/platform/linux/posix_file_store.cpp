#include "platform/linux/posix_file_store.h"

#include "platform/linux/posix_error.h"
#include "platform/linux/unique_fd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pvx::platform {

namespace {

constexpr mode_t kPrivateFile = S_IRUSR | S_IWUSR;
constexpr mode_t kPrivateFolder = S_IRWXU;
constexpr int kMaxLinkHops = 40;
// A short fixed name keeps the temporary file's name within NAME_MAX;
// mkostemp replaces the six X.
constexpr char kTemporaryPrefix[] = ".pvx-save-";
constexpr char kTemporaryPattern[] = ".pvx-save-XXXXXX";

Result<void> requireRegularFile(const QString &path, int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return posixError(errno, path);
    if (S_ISDIR(info.st_mode))
        return posixError(EISDIR, path);
    if (!S_ISREG(info.st_mode))
        return makeError(ErrorCode::InvalidArgument, path + QStringLiteral(": not a regular file"));
    return {};
}

Result<void> writeAll(const QString &path, int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype remaining = bytes.size();
    while (remaining > 0) {
        const ssize_t written = ::write(fd, data, static_cast<std::size_t>(remaining));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return posixError(written < 0 ? errno : EIO, path);
        data += written;
        remaining -= written;
    }
    return {};
}

// Saving through a link must not turn the link into a file of its own.
QString followLinks(const QString &path)
{
    QString target = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        const QFileInfo info(target);
        if (!info.isSymLink())
            break;
        target = info.symLinkTarget();
    }
    return target;
}

// Whoever could once write into the home may have left a link there that
// leads the user's saves and reads to a file of their choice.
Result<QString> followOwnLinks(const QString &path)
{
    QString target = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat info {};
        if (::lstat(QFile::encodeName(target).constData(), &info) != 0) {
            // A link of the user's to a file still to be made: a save makes it.
            if (errno == ENOENT)
                return target;
            return posixError(errno, path);
        }
        if (!S_ISLNK(info.st_mode)) {
            if (hop > 0 && info.st_uid != ::geteuid())
                return makeError(ErrorCode::AccessDenied,
                                 path + QStringLiteral(": a symbolic link to a file of another user; not followed"));
            return target;
        }
        if (info.st_uid != ::geteuid())
            return makeError(ErrorCode::AccessDenied,
                             path + QStringLiteral(": a symbolic link made by another user; not followed"));
        target = QFileInfo(target).symLinkTarget();
    }
    return posixError(ELOOP, path);
}

Error linkRefused(const QString &path)
{
    return makeError(ErrorCode::AccessDenied, path + QStringLiteral(": a symbolic link; not followed"));
}

} // namespace

PosixFileStore::PosixFileStore(QString home) : m_home(home.isEmpty() ? QString() : QDir::cleanPath(home)) {}

bool PosixFileStore::inHome(const QString &path) const
{
    return !m_home.isEmpty() && QDir::cleanPath(QFileInfo(path).absolutePath()) == m_home;
}

Result<QByteArray> PosixFileStore::readAll(const QString &path) const
{
    QString file = path;
    int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (inHome(path)) {
        const auto own = followOwnLinks(path);
        if (!own)
            return own.error();
        // The file checked is the file read: a link put in its place since is refused.
        file = *own;
        flags |= O_NOFOLLOW;
    }
    UniqueFd fd(::open(QFile::encodeName(file).constData(), flags));
    if (!fd.valid() && errno == ELOOP && (flags & O_NOFOLLOW) != 0)
        return linkRefused(path);
    if (!fd.valid())
        return posixError(errno, path);
    if (Result<void> regular = requireRegularFile(path, fd.get()); !regular)
        return regular.error();

    QByteArray bytes;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return posixError(errno, path);
        if (got == 0)
            return bytes;
        bytes.append(buffer, got);
    }
}

Result<void> PosixFileStore::writeAtomically(const QString &path, const QByteArray &bytes)
{
    const Result<QString> resolved = inHome(path) ? followOwnLinks(path) : Result<QString>(followLinks(path));
    if (!resolved)
        return resolved.error();
    const QString &target = *resolved;
    const QByteArray targetName = QFile::encodeName(target);
    QByteArray temporaryName =
        QFile::encodeName(QFileInfo(target).absolutePath() + QLatin1Char('/') + QLatin1String(kTemporaryPattern));
    // mkostemp creates exclusively; a link in the new name's place is not followed either.
    UniqueFd fd(::mkostemp(temporaryName.data(), O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid())
        return posixError(errno, path);

    const auto fail = [&](const Error &error) -> Result<void> {
        ::unlink(temporaryName.constData());
        return error;
    };
    if (::fchmod(fd.get(), kPrivateFile) != 0)
        return fail(posixError(errno, path));
    if (Result<void> written = writeAll(path, fd.get(), bytes); !written)
        return fail(written.error());
    if (::fsync(fd.get()) != 0 || fd.close() != 0)
        return fail(posixError(errno, path));
    if (::rename(temporaryName.constData(), targetName.constData()) != 0)
        return fail(posixError(errno, path));

    // Make the rename itself durable; the data is already safe either way.
    UniqueFd folder(::open(QFile::encodeName(QFileInfo(target).absolutePath()).constData(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid())
        ::fsync(folder.get());
    return {};
}

Result<void> PosixFileStore::append(const QString &path, const QByteArray &bytes)
{
    const QByteArray name = QFile::encodeName(path);
    // Never through a link: one planted in its place would have the log
    // appended to a file of someone's choice.
    UniqueFd fd(::open(name.constData(),
                       O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW, kPrivateFile));
    if (!fd.valid())
        return errno == ELOOP ? linkRefused(path) : posixError(errno, path);
    if (Result<void> regular = requireRegularFile(path, fd.get()); !regular)
        return regular;
    if (Result<void> written = writeAll(path, fd.get(), bytes); !written)
        return written;
    if (fd.close() != 0)
        return posixError(errno, path);
    return {};
}

Result<void> PosixFileStore::ensurePrivateDirectory(const QString &path)
{
    if (path.isEmpty())
        return makeError(ErrorCode::InvalidArgument, QStringLiteral("no folder given"));
    const QString clean = QDir::cleanPath(path);
    const QStringList parts = clean.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString prefix = clean.startsWith(QLatin1Char('/')) ? QStringLiteral("/") : QString();
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (!prefix.isEmpty() && !prefix.endsWith(QLatin1Char('/')))
            prefix += QLatin1Char('/');
        prefix += parts.at(i);
        const bool last = i + 1 == parts.size();
        const QByteArray name = QFile::encodeName(prefix);
        if (::mkdir(name.constData(), last ? kPrivateFolder : ACCESSPERMS) == 0) {
            // The umask may have taken bits away; the folder must be exactly 0700.
            if (last && ::chmod(name.constData(), kPrivateFolder) != 0)
                return posixError(errno, path);
            continue;
        }
        if (errno != EEXIST)
            return posixError(errno, path);
        struct stat info {};
        if (::stat(name.constData(), &info) != 0)
            return posixError(errno, path);
        if (!S_ISDIR(info.st_mode))
            return posixError(ENOTDIR, path);
    }
    return {};
}

Result<void> PosixFileStore::createEmpty(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    UniqueFd fd(::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, kPrivateFile));
    if (fd.valid())
        return fd.close() == 0 ? Result<void>() : posixError(errno, path);
    if (errno != EEXIST)
        return posixError(errno, path);
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0)
        return posixError(errno, path);
    if (S_ISLNK(info.st_mode))
        return linkRefused(path);
    if (!S_ISREG(info.st_mode))
        return makeError(ErrorCode::InvalidArgument, path + QStringLiteral(": not a regular file"));
    return {};
}

void PosixFileStore::removeTemporaryFiles(const QString &folder)
{
    const QDir dir(folder);
    const QStringList names = dir.entryList({QLatin1String(kTemporaryPrefix) + QStringLiteral("??????")},
                                            QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        struct stat info {};
        if (::lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
            ::unlink(path.constData());
    }
}

Result<int> PosixFileStore::permissions(const QString &path) const
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return posixError(errno, path);
    return static_cast<int>(info.st_mode & 07777);
}

Result<qint64> PosixFileStore::fileSize(const QString &path) const
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return posixError(errno, path);
    return static_cast<qint64>(info.st_size);
}

Result<void> PosixFileStore::rename(const QString &from, const QString &to)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        return posixError(errno, from);
    return {};
}

Result<void> PosixFileStore::remove(const QString &path)
{
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
        return posixError(errno, path);
    return {};
}

} // namespace pvx::platform
