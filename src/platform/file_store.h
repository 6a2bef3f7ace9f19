#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QString>

#include <chrono>

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
    /// Removes the temporary files of writeAtomically in `folder` that are
    /// older than `minimumAge`: left by a save that was killed. Younger ones
    /// may belong to a save in progress and stay. Failures are ignored.
    virtual void removeStaleTemporaryFiles(const QString &folder, std::chrono::seconds minimumAge) = 0;
    /// The file's size in bytes; ErrorCode::NotFound when it does not exist.
    virtual Result<qint64> fileSize(const QString &path) const = 0;
    /// Moves the file to `to`, replacing a file there.
    virtual Result<void> rename(const QString &from, const QString &to) = 0;
    /// Removes the file; one that does not exist is no error.
    virtual Result<void> remove(const QString &path) = 0;
};

} // namespace pvx::platform
