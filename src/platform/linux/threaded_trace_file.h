#pragma once

#include "platform/linux/trace_sink.h"
#include "platform/trace_file.h"

#include <QObject>

#include <chrono>
#include <memory>
#include <thread>

namespace pvx::platform {

/// A TraceFile whose records are made and written to a sink by a thread of
/// its own. The event loop takes a lock only to queue a record.
class ThreadedTraceFile final : public TraceFile {
public:
    /// What the queue holds at most: payload bytes plus kRecordCost a record.
    static constexpr qint64 kQueueLimit = qint64{8} * 1024 * 1024;
    static constexpr qint64 kRecordCost = 64;
    /// How long destruction waits for the queue to be written.
    static constexpr std::chrono::milliseconds kCloseWait{1000};

    /// Starts the writer at once; warnings come through the event loop of
    /// the calling thread.
    ThreadedTraceFile(std::unique_ptr<TraceSink> sink, TraceFileOpener::Events events,
                      qint64 queueLimit = kQueueLimit);
    ~ThreadedTraceFile() override;
    ThreadedTraceFile(const ThreadedTraceFile &) = delete;
    ThreadedTraceFile &operator=(const ThreadedTraceFile &) = delete;

    void offer(Text text, qint64 payloadBytes) override;

    /// What the event loop and the writer share.
    struct State;

private:

    /// Warnings are delivered through it, so none arrives once it is gone.
    QObject m_context;
    std::shared_ptr<State> m_state;
    std::thread m_writer;
};

} // namespace pvx::platform
