#include "platform/linux/threaded_trace_file.h"

#include <QMetaObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace pvx::platform {

namespace {

// Writes of about this size keep the calls few and the rotation close to
// its limit.
constexpr qsizetype kChunkSize = 256 * 1024;

/// Records that were not written.
struct Gap {
    qint64 bytes = 0;
    qint64 records = 0;

    bool empty() const { return records == 0; }
    Gap &operator+=(const Gap &other)
    {
        bytes += other.bytes;
        records += other.records;
        return *this;
    }
};

struct Entry {
    TraceFile::Text text;
    qint64 payloadBytes = 0;
    /// Left out just before this record.
    Gap before;
};

} // namespace

struct ThreadedTraceFile::State {
    std::unique_ptr<TraceSink> sink;
    TraceFileOpener::Events events;
    qint64 limit;

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finished;
    std::deque<Entry> queue;
    qint64 queued = 0;
    /// Dropped since the last record queued.
    Gap dropped;
    bool closing = false;
    bool done = false;
    /// Destruction gave up waiting: the writer stops and tells nobody.
    std::atomic<bool> abandoned = false;
    QObject *context = nullptr;

    void warn(const QString &message)
    {
        const std::lock_guard lock(mutex);
        if (abandoned || !events.warning)
            return;
        QMetaObject::invokeMethod(
            context, [warning = events.warning, message] { warning(message); }, Qt::QueuedConnection);
    }
};

namespace {

/// The writer's side: records made, gathered into chunks and written.
class Writer {
public:
    explicit Writer(ThreadedTraceFile::State &state) : m_state(state) {}

    void run();

private:
    void add(Entry &entry);
    void flush();

    ThreadedTraceFile::State &m_state;
    /// Not written, to be told by the next gap line.
    Gap m_lost;
    QByteArray m_chunk;
    /// Everything the chunk stands for: its records and the gaps it tells.
    Gap m_inChunk;
    bool m_writeFailing = false;
    bool m_moveFailing = false;
};

} // namespace

void Writer::run()
{
    for (;;) {
        std::deque<Entry> batch;
        {
            std::unique_lock lock(m_state.mutex);
            m_state.wake.wait(lock, [this] { return !m_state.queue.empty() || m_state.closing; });
            if (m_state.queue.empty())
                break;
            batch.swap(m_state.queue);
            m_state.queued = 0;
        }
        for (Entry &entry : batch) {
            if (m_state.abandoned)
                break;
            add(entry);
        }
        flush();
    }
    if (!m_lost.empty() && !m_state.abandoned) {
        Entry last;
        add(last);
        flush();
    }
    {
        const std::lock_guard lock(m_state.mutex);
        m_state.done = true;
    }
    m_state.finished.notify_all();
}

void Writer::add(Entry &entry)
{
    Gap gap = m_lost;
    gap += entry.before;
    m_lost = {};
    if (!gap.empty())
        m_chunk += m_state.events.gapLine(gap.bytes, gap.records);
    m_inChunk += gap;
    if (entry.text) {
        m_chunk += entry.text();
        m_inChunk += Gap{entry.payloadBytes, 1};
    }
    if (m_chunk.size() >= kChunkSize)
        flush();
}

void Writer::flush()
{
    if (m_chunk.isEmpty())
        return;
    const Result<void> written = m_state.sink->write(m_chunk);
    m_chunk.clear();
    if (!written) {
        // Told by a gap line once writing works again.
        m_lost += m_inChunk;
        m_inChunk = {};
        if (!m_writeFailing)
            m_state.warn(QStringLiteral("the trace is not written: ") + written.error().detail);
        m_writeFailing = true;
        return;
    }
    m_inChunk = {};
    m_writeFailing = false;
    const Result<void> moved = m_state.sink->moveAsideWhenFull();
    if (!moved && !m_moveFailing)
        m_state.warn(moved.error().detail + QStringLiteral("; the trace keeps growing"));
    m_moveFailing = !moved;
}

ThreadedTraceFile::ThreadedTraceFile(std::unique_ptr<TraceSink> sink, TraceFileOpener::Events events,
                                     qint64 queueLimit)
    : m_state(std::make_shared<State>())
{
    m_state->sink = std::move(sink);
    m_state->events = std::move(events);
    m_state->limit = queueLimit;
    m_state->context = &m_context;
    // The thread keeps the state alive should destruction give up on it.
    m_writer = std::thread([state = m_state] { Writer(*state).run(); });
}

ThreadedTraceFile::~ThreadedTraceFile()
{
    std::unique_lock lock(m_state->mutex);
    m_state->closing = true;
    if (!m_state->dropped.empty())
        m_state->queue.push_back(Entry{{}, 0, std::exchange(m_state->dropped, {})});
    m_state->wake.notify_one();
    const bool ended = m_state->finished.wait_for(lock, kCloseWait, [this] { return m_state->done; });
    // A disk that hangs must not hang the program with it.
    if (!ended)
        m_state->abandoned = true;
    lock.unlock();
    if (ended)
        m_writer.join();
    else
        m_writer.detach();
}

void ThreadedTraceFile::offer(Text text, qint64 payloadBytes)
{
    State &state = *m_state;
    const qint64 cost = payloadBytes + kRecordCost;
    const std::lock_guard lock(state.mutex);
    if (state.queued + cost > state.limit) {
        state.dropped += Gap{payloadBytes, 1};
        return;
    }
    state.queued += cost;
    state.queue.push_back(Entry{std::move(text), payloadBytes, std::exchange(state.dropped, {})});
    if (state.queue.size() == 1)
        state.wake.notify_one();
}

} // namespace pvx::platform
