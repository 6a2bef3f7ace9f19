#pragma once

#include "platform/file_store.h"

namespace pvx::platform {

/// FileStore over POSIX calls. Only regular files are read and appended to,
/// so a FIFO or a device in place of a file can never block the event loop.
/// Error details read "<path>: <reason>".
///
/// Files directly in `home` (the Porvix home) are the user's own: a symbolic
/// link there is read and written through only when this user made it and
/// it leads, through links of this user alone, to a file of this user; any
/// other link is refused (ErrorCode::AccessDenied). Elsewhere links are
/// followed as the system follows them.
class PosixFileStore final : public FileStore {
public:
    explicit PosixFileStore(QString home = {});

    Result<QByteArray> readAll(const QString &path) const override;
    /// Writes a temporary file (mode 0600) beside the target, flushes it to
    /// disk and renames it over the target. A symbolic link at `path` that
    /// may be followed is followed, so the file it points to is replaced and
    /// the link stays.
    Result<void> writeAtomically(const QString &path, const QByteArray &bytes) override;
    /// Never through a symbolic link, wherever the file is.
    Result<void> append(const QString &path, const QByteArray &bytes) override;
    /// Parents are created as `mkdir -p` would; the last folder, when this
    /// call creates it, gets mode 0700. An existing folder keeps its mode.
    Result<void> ensurePrivateDirectory(const QString &path) override;
    Result<void> createEmpty(const QString &path) override;
    /// Only this user's regular files named as writeAtomically names them.
    void removeTemporaryFiles(const QString &folder) override;
    Result<int> permissions(const QString &path) const override;
    Result<qint64> fileSize(const QString &path) const override;
    Result<void> rename(const QString &from, const QString &to) override;
    Result<void> remove(const QString &path) override;

private:
    bool inHome(const QString &path) const;

    QString m_home;
};

} // namespace pvx::platform
