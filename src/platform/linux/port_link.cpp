#include "platform/linux/port_link.h"

#include "platform/linux/posix_error.h"

#include <QDir>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <vector>

namespace pvx::platform {

namespace {

constexpr mode_t kFolderMode = 0755;
constexpr mode_t kLockFileMode = 0600;
// A lock file can vanish or be replaced between opening and locking it while
// another program removes its port; the claim is then simply tried again.
constexpr int kClaimAttempts = 3;

QString shown(const QByteArray &path)
{
    return QFile::decodeName(path);
}

QByteArray lockNameOf(const QByteArray &name)
{
    return name + QByteArrayLiteral(".lock");
}

Result<void> makeFolder(const QByteArray &path)
{
    if (::mkdir(path.constData(), kFolderMode) != 0) {
        if (errno == EEXIST)
            return {};
        return posixError(errno, QStringLiteral("Cannot create the virtual port folder %1").arg(shown(path)));
    }
    // The umask must not narrow a folder other programs look into.
    const UniqueFd made(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!made.valid() || ::fchmod(made.get(), kFolderMode) != 0)
        return posixError(errno, QStringLiteral("Cannot set the mode of the virtual port folder %1").arg(shown(path)));
    return {};
}

// Creates the missing folders of `path`, parents first.
Result<void> makeFolders(const QByteArray &path)
{
    struct stat status{};
    if (::lstat(path.constData(), &status) == 0)
        return {};
    for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1)) {
        const QByteArray parent = path.left(slash);
        if (::stat(parent.constData(), &status) == 0)
            continue;
        if (auto made = makeFolder(parent); !made)
            return made;
    }
    return makeFolder(path);
}

Result<UniqueFd> openFolder(const QString &folder, bool create)
{
    if (folder.isEmpty())
        return makeError(ErrorCode::InvalidArgument, QStringLiteral("No folder is set for virtual ports"));
    const QByteArray path = QFile::encodeName(QDir(folder).absolutePath());
    if (create) {
        if (auto made = makeFolders(path); !made)
            return made.error();
    }

    struct stat status{};
    if (::lstat(path.constData(), &status) != 0)
        return posixError(errno, QStringLiteral("Cannot use the virtual port folder %1").arg(shown(path)));
    if (S_ISLNK(status.st_mode))
        return makeError(ErrorCode::AccessDenied,
                         QStringLiteral("The virtual port folder %1 is a symbolic link").arg(shown(path)));
    if (!S_ISDIR(status.st_mode))
        return makeError(ErrorCode::InvalidArgument,
                         QStringLiteral("The virtual port folder %1 is not a folder").arg(shown(path)));

    UniqueFd opened(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!opened.valid())
        return posixError(errno, QStringLiteral("Cannot open the virtual port folder %1").arg(shown(path)));
    if (::fstat(opened.get(), &status) != 0)
        return posixError(errno, QStringLiteral("Cannot use the virtual port folder %1").arg(shown(path)));
    if (status.st_uid != ::geteuid())
        return makeError(ErrorCode::AccessDenied,
                         QStringLiteral("The virtual port folder %1 belongs to another user").arg(shown(path)));
    // Whoever may write into the folder may rename a port and plant a link
    // to a terminal of their own under its name.
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return makeError(ErrorCode::AccessDenied,
                         QStringLiteral("The virtual port folder %1 is writable by group or others (mode %2)")
                             .arg(shown(path))
                             .arg(status.st_mode & 07777, 4, 8, QLatin1Char('0')));
    return opened;
}

enum class LockOutcome {
    Taken,
    InUse,
    Moved,
    NotALockFile,
    Failed,
};

struct LockAttempt {
    LockOutcome outcome = LockOutcome::Failed;
    UniqueFd fd;
    int error = 0;
};

bool sameFile(int fd, int folder, const QByteArray &name)
{
    struct stat opened{};
    struct stat named{};
    return ::fstat(fd, &opened) == 0
        && ::fstatat(folder, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0
        && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// Takes the lock file `lockName` of `folder`, creating it when `create` is
// set. Taken means this process now holds the lock of the file that is under
// that name right now.
LockAttempt takeLock(int folder, const QByteArray &lockName, bool create)
{
    LockAttempt attempt;
    const int flags = O_RDWR | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0);
    attempt.fd.reset(::openat(folder, lockName.constData(), flags, kLockFileMode));
    if (!attempt.fd.valid()) {
        attempt.error = errno;
        attempt.outcome = attempt.error == ENOENT ? LockOutcome::Moved : LockOutcome::Failed;
        return attempt;
    }
    struct stat status{};
    if (::fstat(attempt.fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        attempt.outcome = LockOutcome::NotALockFile;
        attempt.fd.reset();
        return attempt;
    }
    if (::flock(attempt.fd.get(), LOCK_EX | LOCK_NB) != 0) {
        attempt.error = errno;
        attempt.outcome = attempt.error == EWOULDBLOCK ? LockOutcome::InUse : LockOutcome::Failed;
        attempt.fd.reset();
        return attempt;
    }
    // Its owner may have removed the file between our open and our lock.
    attempt.outcome = sameFile(attempt.fd.get(), folder, lockName) ? LockOutcome::Taken : LockOutcome::Moved;
    if (attempt.outcome != LockOutcome::Taken)
        attempt.fd.reset();
    return attempt;
}

enum class Kind {
    Missing,
    Link,
    Other,
};

Kind kindOf(int folder, const QByteArray &name, int *error)
{
    struct stat status{};
    if (::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        *error = errno;
        return Kind::Missing;
    }
    *error = 0;
    return S_ISLNK(status.st_mode) ? Kind::Link : Kind::Other;
}

bool isRegularFile(int folder, const QByteArray &name)
{
    struct stat status{};
    return ::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode);
}

// Called while holding the lock of `name`: whatever link has that name now
// was left by a process that is gone.
bool unlinkStaleLink(int folder, const QByteArray &name, int *error)
{
    *error = 0;
    if (kindOf(folder, name, error) != Kind::Link)
        return *error == ENOENT;
    if (::unlinkat(folder, name.constData(), 0) != 0 && errno != ENOENT) {
        *error = errno;
        return false;
    }
    return true;
}

QByteArray readLink(int folder, const QByteArray &name)
{
    std::array<char, PATH_MAX> target{};
    const ssize_t length = ::readlinkat(folder, name.constData(), target.data(), target.size());
    return length < 0 ? QByteArray() : QByteArray(target.data(), length);
}

} // namespace

PortLink::PortLink(UniqueFd folder, UniqueFd lock, QByteArray name, QString path)
    : m_folder(std::move(folder)), m_lock(std::move(lock)), m_name(std::move(name)), m_path(std::move(path))
{
}

PortLink::~PortLink()
{
    static_cast<void>(release());
}

Result<PortLink> PortLink::claim(const QString &folder, const QString &name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QChar(0))
        || name == QLatin1String(".") || name == QLatin1String(".."))
        return makeError(ErrorCode::InvalidArgument,
                         QStringLiteral("\"%1\" cannot name a virtual port").arg(name));
    auto opened = openFolder(folder, true);
    if (!opened)
        return opened.error();
    const int folderFd = opened->get();
    const QByteArray name8 = QFile::encodeName(name);
    const QByteArray lockName = lockNameOf(name8);
    const QString path = QDir(folder).absolutePath() + QLatin1Char('/') + name;

    for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
        int error = 0;
        const Kind kind = kindOf(folderFd, name8, &error);
        if (kind == Kind::Missing && error != ENOENT)
            return posixError(error, QStringLiteral("Cannot look at %1").arg(path));
        if (kind == Kind::Other)
            return makeError(ErrorCode::Busy,
                             QStringLiteral("%1 already exists and is not a virtual port").arg(path));
        if (kind == Kind::Link && !isRegularFile(folderFd, lockName))
            return makeError(ErrorCode::Busy,
                             QStringLiteral("%1 already exists and is a link that is not a virtual port (no lock file)")
                                 .arg(path));

        LockAttempt lock = takeLock(folderFd, lockName, kind == Kind::Missing);
        switch (lock.outcome) {
        case LockOutcome::Taken:
            if (kind == Kind::Link && !unlinkStaleLink(folderFd, name8, &error)) {
                if (error == 0)
                    return makeError(ErrorCode::Busy,
                                     QStringLiteral("%1 already exists and is not a virtual port").arg(path));
                return posixError(error, QStringLiteral("Cannot remove the stale link %1").arg(path));
            }
            return PortLink(std::move(*opened), std::move(lock.fd), name8, path);
        case LockOutcome::InUse:
            return makeError(ErrorCode::Busy, QStringLiteral("%1 is in use by a running program").arg(path));
        case LockOutcome::NotALockFile:
            return makeError(ErrorCode::Busy,
                             QStringLiteral("%1.lock already exists and is not a lock file").arg(path));
        case LockOutcome::Failed:
            return posixError(lock.error, QStringLiteral("Cannot lock %1.lock").arg(path));
        case LockOutcome::Moved:
            break;
        }
    }
    return makeError(ErrorCode::Busy,
                     QStringLiteral("%1 is being created or removed by another program").arg(path));
}

Result<void> PortLink::link(const QString &target)
{
    const QByteArray target8 = QFile::encodeName(target);
    if (::symlinkat(target8.constData(), m_folder.get(), m_name.constData()) != 0)
        return posixError(errno, QStringLiteral("Cannot create the link %1").arg(m_path));
    m_target = target8;
    return {};
}

Result<void> PortLink::release()
{
    // Only the link made here goes: a user may have put something else there.
    if (!m_target.isEmpty() && readLink(m_folder.get(), m_name) == m_target
        && ::unlinkat(m_folder.get(), m_name.constData(), 0) != 0 && errno != ENOENT)
        return posixError(errno, QStringLiteral("Cannot remove the link %1").arg(m_path));
    m_target.clear();
    if (m_lock.valid()) {
        const QByteArray lockName = lockNameOf(m_name);
        if (sameFile(m_lock.get(), m_folder.get(), lockName))
            ::unlinkat(m_folder.get(), lockName.constData(), 0);
        m_lock.reset();
    }
    m_folder.reset();
    return {};
}

void removeStaleLinks(const QString &folder)
{
    auto opened = openFolder(folder, false);
    if (!opened)
        return;
    const int folderFd = opened->get();

    std::vector<QByteArray> links;
    if (DIR *listing = ::fdopendir(::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC))) {
        while (const dirent *entry = ::readdir(listing)) {
            const QByteArray name(entry->d_name);
            int error = 0;
            if (kindOf(folderFd, name, &error) == Kind::Link)
                links.push_back(name);
        }
        ::closedir(listing);
    }

    for (const QByteArray &name : links) {
        const QByteArray lockName = lockNameOf(name);
        if (!isRegularFile(folderFd, lockName))
            continue;
        const LockAttempt lock = takeLock(folderFd, lockName, false);
        if (lock.outcome != LockOutcome::Taken)
            continue;
        int error = 0;
        if (unlinkStaleLink(folderFd, name, &error))
            ::unlinkat(folderFd, lockName.constData(), 0);
    }
}

} // namespace pvx::platform
