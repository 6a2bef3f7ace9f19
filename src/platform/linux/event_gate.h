#pragma once

#include <list>
#include <functional>
#include <memory>

class QObject;

namespace pvx::platform {

/// How the Qt-backed platform objects deliver their events, so that no event
/// is ever delivered from inside a call into the object:
///
/// - An event raised by Qt from the event loop (a socket became readable, a
///   timer expired) is delivered at once.
/// - An event raised while a call into the owner runs (Qt emits some signals
///   synchronously, e.g. an immediate connect failure) is queued and
///   delivered from the event loop after the call has returned.
/// - Once an event is queued, later events queue behind it, so the order in
///   which Qt raised them is kept.
/// - Queued events are dropped when the owner drops them (close) or dies.
///
/// A handler may destroy the owner; the gate notices and touches nothing
/// afterwards. Event-loop thread only.
class EventGate {
public:
    /// Marks a call into the owner for as long as it lives.
    class [[nodiscard]] CallScope {
    public:
        explicit CallScope(EventGate &gate);
        ~CallScope();
        CallScope(const CallScope &) = delete;
        CallScope &operator=(const CallScope &) = delete;

    private:
        EventGate &m_gate;
    };

    EventGate() = default;
    EventGate(const EventGate &) = delete;
    EventGate &operator=(const EventGate &) = delete;

    /// True while a call into the owner runs.
    bool inCall() const { return m_callDepth > 0; }

    /// Delivers `event` now or queues it (see the class comment). Returns
    /// false when the owner was destroyed by the event's handler.
    bool raise(std::function<void()> event);
    /// Forgets every queued event.
    void dropQueued();

    /// Deletes one of the owner's Qt objects after disconnecting everything
    /// from its signals: at once, or later from the event loop while one of
    /// the owner's handlers runs (the object may be the one emitting).
    void dispose(QObject *object) const;

private:
    bool deliver(const std::function<void()> &event);
    void scheduleFlush();
    void flush();

    // A list, not a deque: an empty one costs no memory, and every socket,
    // port and timer of every session has a gate.
    std::list<std::function<void()>> m_queue;
    std::shared_ptr<char> m_alive = std::make_shared<char>();
    int m_callDepth = 0;
    int m_dispatchDepth = 0;
    bool m_flushScheduled = false;
};

} // namespace pvx::platform
