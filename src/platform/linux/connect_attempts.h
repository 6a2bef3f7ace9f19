#pragma once

#include "platform/host_resolver.h"
#include "platform/timer.h"

#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace pvx::platform {

/// Which address a connection to a remote host tries next. An address
/// literal of either family (an IPv6 one with or without brackets) is tried
/// as it is; a name is looked up for every address of both families, which
/// are tried one at a time in the order the resolver gives them. An attempt
/// that fails (refused, unreachable, ...) moves on to the next address at
/// once; one that has not connected within three seconds is given up for
/// the next. The last address has no such limit: it ends as the system
/// ends it. Nothing races: one attempt runs at a time.
///
/// Event-loop thread only. Steps are called from inside start() (a
/// literal), attemptFailed() and the resolver's or timer's callbacks.
class ConnectAttempts {
public:
    struct Steps {
        /// Connect to `address` now, giving up any attempt before it. Its end
        /// comes back through attemptFailed(), or stop() once connected.
        std::function<void(const QHostAddress &address)> attempt;
        /// No address is left: the last attempt's error, or host not found
        /// (11001) when the name has no address.
        std::function<void(int number, const QString &description)> failed;
    };

    /// `patience` times each attempt; it is owned from here on.
    ConnectAttempts(HostResolver &resolver, std::unique_ptr<Timer> patience, Steps steps);
    ~ConnectAttempts();
    ConnectAttempts(const ConnectAttempts &) = delete;
    ConnectAttempts &operator=(const ConnectAttempts &) = delete;

    /// Starts over with `host` (surrounding blanks ignored), forgetting what
    /// a former start was doing.
    void start(const QString &host);
    /// The attempt running now failed with the network error `number`.
    void attemptFailed(int number, const QString &description);
    /// Connected, or given up by the owner: nothing more is tried.
    void stop();

    /// How long an attempt may take while another address waits, in ms.
    static constexpr int kPatienceMs = 3000;

private:
    void onResolved(const QStringList &addresses);
    void tryNext(int number, const QString &description);

    HostResolver &m_resolver;
    std::unique_ptr<Timer> m_patience;
    Steps m_steps;
    int m_lookupId = 0;
    QList<QHostAddress> m_waiting;
};

/// The address `host` spells, of either family, IPv6 also in brackets;
/// nothing (a null address) when it is a name or malformed.
QHostAddress literalAddress(const QString &host);

} // namespace pvx::platform
