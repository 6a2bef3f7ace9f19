#pragma once

#include "platform/result.h"
#include "session/address_filter.h"
#include "session/refusal_log.h"

#include <functional>

namespace pvx::session {

class SideStatus;

/// The door of a network side: who may reach the session (the window's
/// AllowFrom list), with refusals logged at most once a minute per address.
class PeerGate {
public:
    PeerGate(const SideStatus &status, std::function<void(const QString &text)> log);

    /// Takes `list` for an activation; on a bad entry an InvalidArgument
    /// whose detail says which, ready for the status line.
    platform::Result<void> load(const QString &list);
    /// Whether a peer at `address` may reach the session; a refusal is
    /// logged unless the same address was logged within the minute.
    bool admits(const QString &address, RefusalLog::Clock::time_point now = RefusalLog::Clock::now());
    /// Refusals and failed handshakes since the list was loaded.
    qint64 refusals() const { return m_refusalCount; }
    /// A peer at `address` failed its TLS handshake for `reason`; logged as
    /// a refusal is.
    void reportFailedHandshake(const QString &address, const QString &reason,
                               RefusalLog::Clock::time_point now = RefusalLog::Clock::now());

private:
    const SideStatus &m_status;
    std::function<void(const QString &text)> m_log;
    AddressFilter m_filter;
    RefusalLog m_refusals;
    qint64 m_refusalCount = 0;
};

} // namespace pvx::session
