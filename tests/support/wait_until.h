#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <functional>

/// Runs the event loop until `done` returns true or `timeout` has passed;
/// returns whether `done` came true. Objects whose deletion was put off are
/// deleted on the way, so handlers that destroy their owner leave nothing
/// behind.
inline bool waitUntil(const std::function<bool()> &done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    const QDeadlineTimer deadline(timeout);
    // Wakes the loop now and then, so the deadline is seen when nothing happens.
    QTimer tick;
    tick.start(10);
    for (;;) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (done())
            return true;
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

inline bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    return waitUntil(done, std::chrono::milliseconds(timeoutMs));
}

/// Runs the event loop for `duration`, to see what happens meanwhile.
inline void runEventsFor(std::chrono::milliseconds duration)
{
    waitUntil([] { return false; }, duration);
}
