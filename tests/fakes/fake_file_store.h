#pragma once

#include "platform/file_store.h"

#include <QStringList>
#include <QMap>
#include <QSet>

namespace pvx::fakes {

/// Files in memory; a path can be made to fail.
class FakeFileStore : public platform::FileStore {
public:
    platform::Result<QByteArray> readAll(const QString &path) const override
    {
        if (unreadable.contains(path))
            return platform::makeError(platform::ErrorCode::AccessDenied, path + QStringLiteral(": Permission denied"));
        if (!files.contains(path))
            return platform::makeError(platform::ErrorCode::NotFound, path + QStringLiteral(": not found"));
        return files.value(path);
    }
    platform::Result<void> writeAtomically(const QString &path, const QByteArray &bytes) override
    {
        if (failing.contains(path))
            return platform::makeError(platform::ErrorCode::AccessDenied, path + QStringLiteral(": refused"));
        files[path] = bytes;
        return {};
    }
    platform::Result<void> append(const QString &path, const QByteArray &bytes) override
    {
        if (failing.contains(path))
            return platform::makeError(platform::ErrorCode::AccessDenied, path + QStringLiteral(": refused"));
        files[path] += bytes;
        return {};
    }
    platform::Result<void> ensurePrivateDirectory(const QString &path) override
    {
        if (failing.contains(path))
            return platform::makeError(platform::ErrorCode::AccessDenied, path + QStringLiteral(": refused"));
        directories.insert(path);
        return {};
    }
    platform::Result<qint64> fileSize(const QString &path) const override
    {
        if (!files.contains(path))
            return platform::makeError(platform::ErrorCode::NotFound, path + QStringLiteral(": not found"));
        return files.value(path).size();
    }
    /// Fails when the target is one of the failing paths.
    platform::Result<void> rename(const QString &from, const QString &to) override
    {
        if (failing.contains(to) || !files.contains(from))
            return platform::makeError(platform::ErrorCode::AccessDenied, from + QStringLiteral(": refused"));
        files[to] = files.take(from);
        return {};
    }

    platform::Result<void> remove(const QString &path) override
    {
        if (failing.contains(path))
            return platform::makeError(platform::ErrorCode::AccessDenied, path + QStringLiteral(": refused"));
        files.remove(path);
        return {};
    }

    platform::Result<void> createEmpty(const QString &path) override
    {
        if (failing.contains(path))
            return platform::makeError(platform::ErrorCode::AccessDenied, path + QStringLiteral(": refused"));
        if (!files.contains(path))
            files[path] = {};
        return {};
    }

    void removeTemporaryFiles(const QString &folder) override { temporaryCleanups.append(folder); }

    /// 0600 unless `modes` says otherwise.
    platform::Result<int> permissions(const QString &path) const override
    {
        if (!files.contains(path))
            return platform::makeError(platform::ErrorCode::NotFound, path + QStringLiteral(": not found"));
        return modes.value(path, 0600);
    }

    QMap<QString, QByteArray> files;
    QSet<QString> directories;
    /// Writes to these paths fail.
    QSet<QString> failing;
    /// Reads of these paths fail, as a folder or a file without read access does.
    QSet<QString> unreadable;
    /// Permission bits by path.
    QMap<QString, int> modes;
    /// Every removeTemporaryFiles call: its folder.
    QStringList temporaryCleanups;
};

} // namespace pvx::fakes
