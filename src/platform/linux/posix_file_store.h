#pragma once

#include "platform/file_store.h"

namespace pvx::platform {

/// FileStore over POSIX calls. Only regular files are read and appended to,
/// so a FIFO or a device in place of a file can never block the event loop.
/// Error details read "<path>: <reason>".
class PosixFileStore final : public FileStore {
public:
    Result<QByteArray> readAll(const QString &path) const override;
    /// Writes a temporary file (mode 0600) beside the target, flushes it to
    /// disk and renames it over the target. A symbolic link at `path` is
    /// followed, so the file it points to is replaced and the link stays.
    Result<void> writeAtomically(const QString &path, const QByteArray &bytes) override;
    Result<void> append(const QString &path, const QByteArray &bytes) override;
    /// Parents are created as `mkdir -p` would; the last folder, when this
    /// call creates it, gets mode 0700. An existing folder keeps its mode.
    Result<void> ensurePrivateDirectory(const QString &path) override;
    /// Only this user's regular files named as writeAtomically names them.
    void removeStaleTemporaryFiles(const QString &folder, std::chrono::seconds minimumAge) override;
    Result<qint64> fileSize(const QString &path) const override;
    Result<void> rename(const QString &from, const QString &to) override;
    Result<void> remove(const QString &path) override;
};

} // namespace pvx::platform
