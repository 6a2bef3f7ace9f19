#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <functional>

namespace pvx::test {

/// Runs the event loop until `done` returns true or `timeout` has passed;
/// returns whether `done` came true.
inline bool waitUntil(const std::function<bool()> &done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    const QDeadlineTimer deadline(timeout);
    // Wakes the loop now and then, so the deadline is seen when nothing happens.
    QTimer tick;
    tick.start(10);
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

/// Runs the event loop for `duration`, to see what happens meanwhile.
inline void runEventsFor(std::chrono::milliseconds duration)
{
    waitUntil([] { return false; }, duration);
}

} // namespace pvx::test
