#pragma once

#include "platform/trace_file.h"

#include <QStringList>

#include <map>

namespace pvx::fakes {

/// Trace files in memory: what each path got is kept after it is closed;
/// paths listed as refused do not open.
class FakeTraceFileOpener : public platform::TraceFileOpener {
public:
    platform::Result<std::unique_ptr<platform::TraceFile>> open(const QString &path, Events) override
    {
        if (refused.contains(path))
            return platform::makeError(platform::ErrorCode::NotFound, path + QStringLiteral(": No such file or directory"));
        return std::unique_ptr<platform::TraceFile>(std::make_unique<File>(*this, path));
    }

    QStringList refused;
    std::map<QString, QByteArray> written;
    /// The paths of the files open now.
    QStringList openPaths;

private:
    class File : public platform::TraceFile {
    public:
        File(FakeTraceFileOpener &owner, QString path) : m_owner(owner), m_path(std::move(path))
        {
            m_owner.openPaths.append(m_path);
        }
        ~File() override { m_owner.openPaths.removeOne(m_path); }
        void offer(Text text, qint64) override { m_owner.written[m_path] += text(); }

    private:
        FakeTraceFileOpener &m_owner;
        QString m_path;
    };
};

} // namespace pvx::fakes
