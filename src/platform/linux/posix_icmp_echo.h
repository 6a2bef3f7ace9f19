#pragma once

#include "platform/icmp_echo.h"
#include "platform/linux/icmp_packet.h"
#include "platform/linux/unique_fd.h"

#include <QElapsedTimer>
#include <QObject>

#include <array>
#include <cstdint>
#include <map>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace pvx::platform {

/// ICMP echo to IPv4 addresses (also IPv4-mapped ones) and ICMPv6 echo to
/// IPv6 addresses (a zone after `%` names the interface of a link-local
/// one), each over a datagram socket of its family where the kernel lets
/// this user have one (net.ipv4.ping_group_range, for both), else over a raw
/// socket (root or CAP_NET_RAW). A family's socket is opened for the first waiting request and
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

    /// The socket of one family.
    struct Channel {
        icmp::Family family = icmp::Family::IPv4;
        UniqueFd socket;
        /// A datagram socket: the kernel chooses the identifier.
        bool datagram = false;
        std::unique_ptr<QSocketNotifier, DeleteLater> notifier;
        /// Answers the receive buffer holds, as far as we know.
        std::size_t answerRoom = 0;
    };

    /// Opens the channel's socket unless one is open; the reason when none
    /// can be.
    QString openSocket(Channel &channel);
    void closeSocketsWhenIdle();
    /// Grows the socket's receive buffer to hold an answer to every request
    /// waiting, should they all come at once.
    void makeRoomForAnswers(Channel &channel);
    void readAllAnswers();
    void readAnswers(Channel &channel);
    void readErrorQueue(Channel &channel);
    void answer(std::uint16_t identifier, std::uint16_t sequence, EchoReply reply);
    void finish(int requestId, EchoReply reply);

    QObject m_context;
    std::array<Channel, 2> m_channels;
    std::uint16_t m_identifier;
    /// Requests sent since answers were last read.
    int m_sentUnread = 0;
    std::map<int, Request> m_requests;
    int m_lastId = 0;
};

} // namespace pvx::platform
