#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QString>

namespace pvx::platform {

/// Whole-file access for configuration files and the error log.
class FileStore {
public:
    virtual ~FileStore() = default;
    /// The file's bytes; ErrorCode::NotFound when it does not exist.
    virtual Result<QByteArray> readAll(const QString &path) const = 0;
    /// Replaces the file at once (temporary file, then rename), readable and
    /// writable by the user only. On failure the old file stays whole.
    virtual Result<void> writeAtomically(const QString &path, const QByteArray &bytes) = 0;
    /// Opens the file, appends `bytes` and closes it again (created user-only).
    virtual Result<void> append(const QString &path, const QByteArray &bytes) = 0;
    /// Creates the folder (and its parents) when missing, the last one
    /// user-only.
    virtual Result<void> ensurePrivateDirectory(const QString &path) = 0;
    /// Creates an empty file, user-only, unless a regular file is there
    /// already. Never through a symbolic link: a link at `path` is refused
    /// (ErrorCode::AccessDenied).
    virtual Result<void> createEmpty(const QString &path) = 0;
    /// Removes every temporary file of writeAtomically in `folder`: left by
    /// saves that were killed. Only while no save can be running (this
    /// instance holds the folder's lock). Failures are ignored.
    virtual void removeTemporaryFiles(const QString &folder) = 0;
    /// The permission bits of the file (0644 ...), through links;
    /// ErrorCode::NotFound when it does not exist.
    virtual Result<int> permissions(const QString &path) const = 0;
    /// The file's size in bytes; ErrorCode::NotFound when it does not exist.
    virtual Result<qint64> fileSize(const QString &path) const = 0;
    /// Moves the file to `to`, replacing a file there.
    virtual Result<void> rename(const QString &from, const QString &to) = 0;
    /// Removes the file; one that does not exist is no error.
    virtual Result<void> remove(const QString &path) = 0;
};

} // namespace pvx::platform
