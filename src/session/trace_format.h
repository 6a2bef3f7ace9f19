#pragma once

#include "session/trace_record.h"

#include <QByteArray>

namespace pvx::session {

enum class TraceStyle {
    /// A header line, then the bytes 16 a line as `hexdump -C` shows them.
    Hex,
    /// One line: the header, then the bytes, printable ones as they are and
    /// the rest (and the backslash) as \xNN.
    Text,
};

/// A record as the trace file and `--monitor` show it, ending in a newline.
/// The header line, local time to the microsecond:
///
///     2026-12-08 14:03:07.120456 [COM7] serial->network 5 bytes to 127.0.0.1:50522
///     2026-12-08 14:03:07.130002 [COM7] network->serial 3 bytes from [::1]:40100
///     2026-12-08 14:03:07.200000 [COM7] event client connected: 127.0.0.1:50522
///
/// then, in Hex style, each line of bytes indented by two blanks:
///
///       00000000  68 65 6c 6c 6f                                    |hello|
///
/// A data record without its bytes (a trace of events only) is the header
/// alone.
QByteArray formatTraceRecord(const TraceRecord &record, TraceStyle style);

} // namespace pvx::session
