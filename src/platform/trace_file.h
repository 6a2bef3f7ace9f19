#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace pvx::platform {

/// A file that a session's trace is appended to, written on a thread of its
/// own so that a slow or full disk never holds up the event loop. Calls
/// happen on the event-loop thread.
///
/// Records wait in a bounded queue (its bound counts payload bytes, plus a
/// little for each record). One that does not fit is dropped whole,
/// and so is one the disk refuses; the writer then puts one line in their
/// place (the gap line its opener gave) once it writes again, or at the end.
/// Destroying it writes what is queued, waiting at most about a second; what
/// is still queued after that is given up.
class TraceFile {
public:
    /// Makes a record's text (whole lines). It runs on the writer's thread,
    /// so it may use nothing but what it carries; the event loop only hands
    /// it over.
    using Text = std::function<QByteArray()>;

    virtual ~TraceFile() = default;
    /// Queues a record and returns at once. `payloadBytes` are the traced
    /// bytes it shows: what the queue's bound and a gap line count.
    virtual void offer(Text text, qint64 payloadBytes) = 0;
};

/// Opens trace files.
class TraceFileOpener {
public:
    struct Events {
        /// The line written in place of records that were not: the payload
        /// bytes and the records left out. Called on the writer's thread, so
        /// it may use nothing but what it carries.
        std::function<QByteArray(qint64 bytes, qint64 records)> gapLine;
        /// The file cannot be written or moved aside: once per failing
        /// spell, on the event-loop thread, never after the file is gone.
        std::function<void(const QString &message)> warning;
    };
    virtual ~TraceFileOpener() = default;
    /// Opens `path` (relative: from the current folder) for appending,
    /// creating it user-only. Refused: a missing folder (NotFound), a folder
    /// others may write to without the sticky bit, a symbolic link at
    /// `path` (AccessDenied), anything but a regular file (InvalidArgument).
    /// Past its size limit the file is moved aside to "<path>.1" (replacing
    /// the one there) and a new one starts.
    virtual Result<std::unique_ptr<TraceFile>> open(const QString &path, Events events) = 0;
};

} // namespace pvx::platform
