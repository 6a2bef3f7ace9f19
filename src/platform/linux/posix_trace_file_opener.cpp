#include "platform/linux/posix_trace_file_opener.h"

#include "platform/linux/threaded_trace_file.h"
#include "platform/linux/trace_log_file.h"

namespace pvx::platform {

Result<std::unique_ptr<TraceFile>> PosixTraceFileOpener::open(const QString &path, Events events)
{
    Result<std::unique_ptr<TraceLogFile>> file = TraceLogFile::open(path);
    if (!file)
        return file.error();
    return std::unique_ptr<TraceFile>(std::make_unique<ThreadedTraceFile>(std::move(*file), std::move(events)));
}

} // namespace pvx::platform
