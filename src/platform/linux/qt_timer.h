#pragma once

#include "platform/linux/event_gate.h"
#include "platform/timer.h"

class QTimer;

namespace pvx::platform {

/// A repeating timer over QTimer. The timeout arrives from the event loop
/// only; the owner may destroy the timer from inside its timeout.
class QtTimer final : public Timer {
public:
    QtTimer();
    ~QtTimer() override;
    QtTimer(const QtTimer &) = delete;
    QtTimer &operator=(const QtTimer &) = delete;

    /// Takes effect at once, also on a running timer (which restarts).
    void setInterval(int milliseconds) override;
    int interval() const override;
    /// (Re)starts the timer: the first timeout comes one interval from now.
    void start() override;
    void stop() override;
    bool isActive() const override;
    void setTimeout(std::function<void()> timeout) override;

private:
    EventGate m_gate;
    QTimer *m_timer;
    std::function<void()> m_timeout;
};

class QtTimerFactory final : public TimerFactory {
public:
    std::unique_ptr<Timer> create() override;
};

} // namespace pvx::platform
