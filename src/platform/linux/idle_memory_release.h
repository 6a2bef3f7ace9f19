#pragma once

#include <QTimer>

#include <chrono>

namespace pvx::platform {

/// Gives the memory the program has freed back to the system once a burst
/// of work is over. The C library keeps freed heap pages for reuse, so
/// after a flood of clients the resident size would stay near its peak for
/// as long as the process runs.
///
/// Each activity() restarts the wait; once none has come for `quietTime`,
/// the free pages go back (malloc_trim), once. Event-loop thread only.
class IdleMemoryRelease {
public:
    explicit IdleMemoryRelease(std::chrono::milliseconds quietTime = std::chrono::seconds(2));
    IdleMemoryRelease(const IdleMemoryRelease &) = delete;
    IdleMemoryRelease &operator=(const IdleMemoryRelease &) = delete;

    /// Notes work that has just freed memory (a connection that ended).
    void activity();

private:
    QTimer m_quiet;
};

} // namespace pvx::platform
