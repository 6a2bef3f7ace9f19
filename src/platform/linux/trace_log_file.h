#pragma once

#include "platform/linux/trace_sink.h"
#include "platform/linux/unique_fd.h"

#include <QString>

#include <memory>

namespace pvx::platform {

/// A trace file on disk, appended to and moved aside to "<path>.1" past its
/// size limit, as the error log is. Never opened through a symbolic link,
/// never in a folder others may write to without the sticky bit, never a
/// file of another user; created with mode 0600.
class TraceLogFile final : public TraceSink {
public:
    static constexpr qint64 kDefaultLimit = qint64{10} * 1024 * 1024;

    /// Opens `path` for appending; errors as TraceFileOpener::open says,
    /// with "<path>: <reason>" as their detail.
    static Result<std::unique_ptr<TraceLogFile>> open(const QString &path, qint64 limit = kDefaultLimit);

    Result<void> write(const QByteArray &bytes) override;
    /// When the move or the new file fails, the old file goes on growing.
    Result<void> moveAsideWhenFull() override;

private:
    TraceLogFile(QString path, UniqueFd fd, qint64 size, qint64 limit);

    QString m_path;
    UniqueFd m_fd;
    qint64 m_size;
    qint64 m_limit;
};

} // namespace pvx::platform
