#pragma once

#include "platform/icmp_echo.h"
#include "platform/linux/unique_fd.h"

#include <QElapsedTimer>
#include <QObject>

#include <cstdint>
#include <map>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace pvx::platform {

/// ICMP echo over an ICMP datagram socket where the kernel lets this user
/// have one (net.ipv4.ping_group_range), else over a raw socket (root or
/// CAP_NET_RAW). The socket is opened for the first waiting request and
/// closed after the last; answers are read when the socket notifier fires,
/// and also between requests sent in a burst, so that a burst's answers do
/// not overflow the socket; each request has its own timer, which delivers
/// its outcome, so nothing ever waits.
/// Sequence numbers are unique across the process, so requests of several
/// users of this class never take each other's answers. When neither socket
/// can be opened every request ends with 11050 and the reason. Event-loop
/// thread only.
class PosixIcmpEcho : public IcmpEcho {
public:
    PosixIcmpEcho();
    ~PosixIcmpEcho() override;
    PosixIcmpEcho(const PosixIcmpEcho &) = delete;
    PosixIcmpEcho &operator=(const PosixIcmpEcho &) = delete;

    int send(const QString &address, const QByteArray &data, int timeoutMs,
             std::function<void(const EchoReply &)> done) override;
    void cancel(int requestId) override;

private:
    /// Qt objects here may go while they emit: they are stopped and left
    /// for the event loop to delete.
    struct DeleteLater {
        void operator()(QTimer *timer) const;
        void operator()(QSocketNotifier *notifier) const;
    };
    struct Request {
        std::uint16_t sequence = 0;
        QElapsedTimer sent;
        std::unique_ptr<QTimer, DeleteLater> timer;
        /// Delivered when the timer fires: the time-out, a failure that was
        /// known at once, or the answer once it has been read.
        EchoReply outcome;
        std::function<void(const EchoReply &)> done;
    };

    /// Opens the socket unless one is open; the reason when none can be.
    QString openSocket();
    void closeSocketWhenIdle();
    /// Grows the socket's receive buffer to hold an answer to every request
    /// waiting, should they all come at once.
    void makeRoomForAnswers();
    void readAnswers();
    void readErrorQueue();
    void answer(std::uint16_t identifier, std::uint16_t sequence, EchoReply reply);
    void finish(int requestId, EchoReply reply);

    QObject m_context;
    UniqueFd m_socket;
    /// A datagram socket: the kernel chooses the identifier.
    bool m_datagram = false;
    std::unique_ptr<QSocketNotifier, DeleteLater> m_notifier;
    std::uint16_t m_identifier;
    /// Answers the receive buffer holds, as far as we know.
    std::size_t m_answerRoom = 0;
    /// Requests sent since answers were last read.
    int m_sentUnread = 0;
    std::map<int, Request> m_requests;
    int m_lastId = 0;
};

} // namespace pvx::platform
