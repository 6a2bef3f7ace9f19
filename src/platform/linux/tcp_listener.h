#pragma once

#include "platform/linux/unique_fd.h"
#include "platform/result.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <functional>
#include <memory>

class QHostAddress;

namespace pvx::platform {

/// A listening TCP socket (IPv4 or IPv6) that accepts from the event loop itself, so
/// that it sees why an accept fails (Qt's server retries a lack of
/// descriptors without end and without a word):
///
/// - out of descriptors or memory, it stops accepting for about a second and
///   tries again; meanwhile new clients wait in the kernel's queue;
/// - a connection that went away before it was taken is skipped;
/// - anything else ends listening for good.
///
/// Callbacks come from the event loop. The owner may stop() and dispose of
/// the listener from inside a callback; nothing is called afterwards.
class TcpListener final : public QObject {
public:
    struct Events {
        /// A new connection, non-blocking and close-on-exec.
        std::function<void(UniqueFd connection)> accepted;
        /// Accepting waits for the system's resources; once until a client
        /// is taken again.
        std::function<void(const QString &description)> paused;
        /// Listening has ended; `errorNumber` is the errno of the failure.
        std::function<void(int errorNumber, const QString &description)> failed;
    };

    /// Listens on `address`:`port` (port 0: any free port) with the largest
    /// queue the system allows. QHostAddress::Any listens on both families
    /// at once (IPv4 clients arrive IPv4-mapped), or on IPv4 alone where the
    /// machine has no IPv6; "::" (AnyIPv6) takes both families too; "0.0.0.0"
    /// IPv4 alone. A zone on an IPv6 address picks its interface.
    static Result<std::unique_ptr<TcpListener>> listen(const QHostAddress &address, quint16 port, Events events);
    /// Accepts by the same rules on a non-blocking stream socket of any
    /// family that already listens (the command channel's local socket);
    /// port() is 0 then.
    static std::unique_ptr<TcpListener> adopt(UniqueFd listening, Events events);

    quint16 port() const { return m_port; }
    /// No more callbacks from now on.
    void stop();

private:
    TcpListener(UniqueFd fd, quint16 port, Events events);
    /// On failure `errorNumber` is the errno that ended it.
    static Result<std::unique_ptr<TcpListener>> listenOn(const QHostAddress &address, quint16 port, Events events,
                                                         int &errorNumber);
    void acceptWaiting();
    void pause(int errorNumber);

    UniqueFd m_fd;
    quint16 m_port;
    Events m_events;
    QSocketNotifier m_readable;
    QTimer m_retry;
    bool m_stopped = false;
    bool m_pauseReported = false;
};

} // namespace pvx::platform
