#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

/// Runs the event loop until `condition` holds or `timeoutMs` have passed;
/// returns whether the condition holds.
inline bool waitUntil(std::function<bool()> condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (condition())
            return true;
        if (clock.elapsed() >= timeoutMs)
            return false;
        QThread::msleep(1);
    }
}
