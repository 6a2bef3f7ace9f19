#pragma once

#include <QHash>
#include <QString>

#include <chrono>

namespace pvx::session {

/// Keeps the log of refused peers bounded: each address is logged at most
/// once a minute, however often it tries, and however many addresses try.
class RefusalLog {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::minutes kQuietTime{1};
    /// Addresses remembered at once; beyond them (and until a minute has
    /// passed for some) new addresses are not logged.
    static constexpr qsizetype kMaxAddresses = 1024;

    /// Whether a refusal of `address` at `now` should be logged.
    bool shouldLog(const QString &address, Clock::time_point now);

private:
    QHash<QString, Clock::time_point> m_lastLogged;
};

} // namespace pvx::session
