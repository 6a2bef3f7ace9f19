#pragma once

#include "core/control.h"
#include "core/form.h"
#include "session/trace_format.h"
#include "session/trace_record.h"

#include <deque>
#include <memory>

namespace pvx::resources {
class StringTable;
}
namespace pvx::platform {
class Dialogs;
class FileStore;
class Timer;
class TimerFactory;
}

namespace pvx::session {

class TraceHub;

/// The model of a session's monitor window: the live trace of the session,
/// both directions and its events, with a bounded scroll-back.
///
/// It keeps up with any rate: the trace's watcher only queues what arrives,
/// within a bound per batch, and counts what does not fit as skipped; every
/// 100 ms the batch goes into the scroll-back, which keeps the newest
/// records within its own bound. While paused, what arrives is skipped.
/// Everything runs on the event-loop thread.
class MonitorWindow : public core::Form {
    Q_OBJECT
public:
    struct Services {
        const resources::StringTable &strings;
        platform::Dialogs &dialogs;
        platform::FileStore &files;
        platform::TimerFactory &timers;
    };

    /// Records in the scroll-back, and the bytes they may carry together;
    /// the oldest go first (the newest record stays, whatever its size).
    static constexpr std::size_t kShownRecords = 10000;
    static constexpr qint64 kShownBytes = qint64{256} << 10;
    /// What one batch takes: beyond it records are skipped. A record that
    /// arrives first in its batch is taken whatever its size.
    static constexpr std::size_t kBatchRecords = 250;
    static constexpr qint64 kBatchBytes = qint64{8} << 10;
    static constexpr int kBatchIntervalMs = 100;

    /// Watches `trace`, with the bytes, until the window is destroyed.
    /// `sessionName` goes into the caption.
    MonitorWindow(TraceHub &trace, const QString &sessionName, Services services);
    ~MonitorWindow() override;

    /// The session took a new name: the caption shows it.
    void setSessionName(const QString &name);

    core::Control hexOption;
    core::Control textOption;
    core::Control pauseBox;
    core::Control clearButton;
    core::Control saveButton;
    /// "N events skipped" since the last clear; empty while none was.
    core::Control skippedLabel;

    /// The scroll-back, oldest first.
    const std::deque<TraceRecord> &records() const { return m_records; }
    TraceStyle style() const { return textOption.value() == 1 ? TraceStyle::Text : TraceStyle::Hex; }
    bool isPaused() const { return pauseBox.value() == 1; }
    /// Records not shown since the last clear: paused, or beyond a batch.
    qint64 skipped() const { return m_skipped; }

    /// Moves the queued records into the scroll-back; the batch timer calls
    /// it.
    void takeBatch();
    /// Empties the scroll-back and the queue, and the skipped count.
    void clear();
    /// Asks for a file and writes the scroll-back to it in the style shown.
    /// A failure is shown in a message box.
    void save();

signals:
    /// `dropped` records left the front of records() and the last `added`
    /// ones are new; `dropped` is never more than there were before.
    void recordsMoved(int dropped, int added);
    /// records() are to be shown afresh: cleared, restyled, or all replaced.
    void recordsReset();

private:
    void registerControls();
    void onRecord(const TraceRecord &record);
    void showSkipped();

    Services m_services;
    TraceHub &m_trace;
    int m_watch = 0;
    std::unique_ptr<platform::Timer> m_batchTimer;
    std::deque<TraceRecord> m_records;
    qint64 m_recordBytes = 0;
    std::deque<TraceRecord> m_queue;
    qint64 m_queueBytes = 0;
    qint64 m_skipped = 0;
};

} // namespace pvx::session
