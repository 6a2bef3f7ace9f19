#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <unistd.h>

namespace pvx::testing {

/// The resident size of process `pid` (this one by default) in KiB; -1 when
/// it cannot be read.
inline qint64 residentKiB(qint64 pid = ::getpid())
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace pvx::testing
