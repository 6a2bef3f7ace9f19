#include "platform/linux/qt_timer.h"

#include <QTimer>

namespace pvx::platform {

QtTimer::QtTimer() : m_timer(new QTimer)
{
    QObject::connect(m_timer, &QTimer::timeout, m_timer, [this] {
        m_gate.raise([this] {
            if (auto timeout = m_timeout)
                timeout();
        });
    });
}

QtTimer::~QtTimer()
{
    m_timer->stop();
    m_gate.dispose(m_timer);
}

void QtTimer::setInterval(int milliseconds)
{
    m_timer->setInterval(std::max(milliseconds, 0));
}

int QtTimer::interval() const
{
    return m_timer->interval();
}

void QtTimer::start()
{
    m_timer->start();
}

void QtTimer::stop()
{
    m_timer->stop();
}

bool QtTimer::isActive() const
{
    return m_timer->isActive();
}

void QtTimer::setTimeout(std::function<void()> timeout)
{
    m_timeout = std::move(timeout);
}

std::unique_ptr<Timer> QtTimerFactory::create()
{
    return std::make_unique<QtTimer>();
}

} // namespace pvx::platform
