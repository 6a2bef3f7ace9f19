#pragma once

#include "platform/timer.h"

#include <QList>

#include <stdexcept>

namespace pvx::fakes {

/// A timer that fires only when the test says so.
class FakeTimer : public platform::Timer {
public:
    /// `registry`: the list that holds the timer while it lives.
    explicit FakeTimer(QList<FakeTimer *> *registry = nullptr) : m_registry(registry) {}
    ~FakeTimer() override
    {
        if (m_registry)
            m_registry->removeOne(this);
    }

    void setInterval(int milliseconds) override { m_interval = milliseconds; }
    int interval() const override { return m_interval; }
    void start() override
    {
        m_active = true;
        ++starts;
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }
    void setTimeout(std::function<void()> timeout) override { m_timeout = std::move(timeout); }

    /// One expiry, as the event loop would deliver it.
    void fire()
    {
        if (m_active && m_timeout)
            m_timeout();
    }

    /// Every start, also of a running timer (which starts its wait again).
    int starts = 0;

private:
    QList<FakeTimer *> *m_registry;
    int m_interval = 0;
    bool m_active = false;
    std::function<void()> m_timeout;
};

class FakeTimerFactory : public platform::TimerFactory {
public:
    std::unique_ptr<platform::Timer> create() override
    {
        auto timer = std::make_unique<FakeTimer>(&created);
        created.append(timer.get());
        return timer;
    }
    /// The newest timer with `interval` that still lives.
    FakeTimer &newest(int interval)
    {
        for (auto it = created.rbegin(); it != created.rend(); ++it) {
            if ((*it)->interval() == interval)
                return **it;
        }
        throw std::logic_error("no such timer");
    }
    /// The timers made, in order, while they live.
    QList<FakeTimer *> created;
};

} // namespace pvx::fakes
