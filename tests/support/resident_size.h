#pragma once

#include <QFile>

#include <unistd.h>

namespace pvx::testing {

/// The resident size of process `pid` in KiB; -1 when it cannot be read.
inline qint64 residentKiB(qint64 pid = ::getpid())
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    const qsizetype at = text.indexOf("VmRSS:");
    return at < 0 ? -1 : text.mid(at + 6, 20).trimmed().split(' ').first().toLongLong();
}

} // namespace pvx::testing
