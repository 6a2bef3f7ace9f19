#pragma once

#include "platform/trace_file.h"

namespace pvx::platform {

/// Opens trace files on disk (TraceLogFile), each written by a thread of
/// its own (ThreadedTraceFile).
class PosixTraceFileOpener final : public TraceFileOpener {
public:
    Result<std::unique_ptr<TraceFile>> open(const QString &path, Events events) override;
};

} // namespace pvx::platform
