#pragma once

#include <functional>
#include <memory>

namespace pvx::platform {

/// A repeating timer on the event loop.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void setInterval(int milliseconds) = 0;
    virtual int interval() const = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    /// Called on every expiry while the timer is active.
    virtual void setTimeout(std::function<void()> timeout) = 0;
};

class TimerFactory {
public:
    virtual ~TimerFactory() = default;
    virtual std::unique_ptr<Timer> create() = 0;
};

} // namespace pvx::platform
