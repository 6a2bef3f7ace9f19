#include "platform/linux/posix_file_store.h"

#include "platform/linux/posix_error.h"
#include "platform/linux/unique_fd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <ctime>

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

} // namespace

Result<QByteArray> PosixFileStore::readAll(const QString &path) const
{
    const QByteArray name = QFile::encodeName(path);
    UniqueFd fd(::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
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
    const QString target = followLinks(path);
    const QByteArray targetName = QFile::encodeName(target);
    QByteArray temporaryName =
        QFile::encodeName(QFileInfo(target).absolutePath() + QLatin1Char('/') + QLatin1String(kTemporaryPattern));
    UniqueFd fd(::mkostemp(temporaryName.data(), O_CLOEXEC));
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
    UniqueFd fd(::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK,
                         kPrivateFile));
    if (!fd.valid())
        return posixError(errno, path);
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

void PosixFileStore::removeStaleTemporaryFiles(const QString &folder, std::chrono::seconds minimumAge)
{
    const QDir dir(folder);
    const QStringList names = dir.entryList({QLatin1String(kTemporaryPrefix) + QStringLiteral("??????")},
                                            QDir::Files | QDir::Hidden | QDir::System);
    const std::time_t now = std::time(nullptr);
    for (const QString &name : names) {
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
            continue;
        if (now - info.st_mtime > minimumAge.count())
            ::unlink(path.constData());
    }
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
