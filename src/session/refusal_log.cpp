#include "session/refusal_log.h"

namespace pvx::session {

bool RefusalLog::shouldLog(const QString &address, Clock::time_point now)
{
    if (const auto found = m_lastLogged.constFind(address); found != m_lastLogged.constEnd()) {
        if (now - *found < kQuietTime)
            return false;
        m_lastLogged[address] = now;
        return true;
    }
    // Many addresses at once (a whole IPv6 range, say) must not grow the
    // table without end: forget those whose minute is over first.
    if (m_lastLogged.size() >= kMaxAddresses)
        m_lastLogged.removeIf([now](const auto &entry) { return now - entry.value() >= kQuietTime; });
    if (m_lastLogged.size() >= kMaxAddresses)
        return false;
    m_lastLogged.insert(address, now);
    return true;
}

} // namespace pvx::session
