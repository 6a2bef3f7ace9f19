#include "platform/linux/event_gate.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>

namespace pvx::platform {

EventGate::CallScope::CallScope(EventGate &gate) : m_gate(gate)
{
    ++m_gate.m_callDepth;
}

EventGate::CallScope::~CallScope()
{
    --m_gate.m_callDepth;
}

bool EventGate::raise(std::function<void()> event)
{
    if (m_callDepth > 0 || !m_queue.empty()) {
        m_queue.push_back(std::move(event));
        scheduleFlush();
        return true;
    }
    return deliver(event);
}

void EventGate::dropQueued()
{
    // Events of the queue may own resources that are released on destruction
    // (a waiting connection is closed): move them out first so that nothing
    // reaches back into a half-cleared queue.
    std::list<std::function<void()>> dropped;
    dropped.swap(m_queue);
}

void EventGate::dispose(QObject *object) const
{
    if (!object)
        return;
    object->disconnect();
    if (m_dispatchDepth > 0)
        object->deleteLater();
    else
        delete object;
}

bool EventGate::deliver(const std::function<void()> &event)
{
    const std::weak_ptr<char> alive = m_alive;
    ++m_dispatchDepth;
    event();
    if (alive.expired())
        return false;
    --m_dispatchDepth;
    return true;
}

void EventGate::scheduleFlush()
{
    if (m_flushScheduled)
        return;
    m_flushScheduled = true;
    const std::weak_ptr<char> alive = m_alive;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, alive] {
            if (!alive.expired())
                flush();
        },
        Qt::QueuedConnection);
}

void EventGate::flush()
{
    m_flushScheduled = false;
    while (!m_queue.empty()) {
        if (m_callDepth > 0) {
            // A nested event loop inside a call: wait until the call is over.
            scheduleFlush();
            return;
        }
        const std::function<void()> event = std::move(m_queue.front());
        m_queue.pop_front();
        if (!deliver(event))
            return;
    }
}

} // namespace pvx::platform
