#include "platform/linux/posix_icmp_echo.h"

#include "platform/linux/icmp_packet.h"

#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>

namespace pvx::platform {

namespace {

/// Bytes of one IP packet we read at most: the largest echo answer fits.
constexpr std::size_t kReceiveSize = 65536;
/// Answers read per wake-up, so that a flood on a raw socket cannot hold
/// the event loop; the notifier fires again for the rest.
constexpr int kAnswersPerWakeUp = 256;
/// Requests sent in a row before the answers that came meanwhile are read:
/// on loopback each answer is queued before its request's send returns.
constexpr int kSendsPerRead = 32;
/// Receive-buffer bytes one queued answer takes: the kernel counts the whole
/// buffer it arrived in (about 800 bytes on loopback, more from a network
/// card).
constexpr std::size_t kBufferPerAnswer = 4096;

/// Unique among the process's waiting requests, whichever object sent them.
std::uint16_t nextSequence()
{
    static std::uint16_t last = 0;
    return ++last;
}

QString errnoText(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

QString dotted(const in_addr &address)
{
    std::array<char, INET_ADDRSTRLEN> text{};
    ::inet_ntop(AF_INET, &address, text.data(), text.size());
    return QString::fromLatin1(text.data());
}

std::span<const std::uint8_t> bytesOf(const std::array<std::uint8_t, kReceiveSize> &buffer, ssize_t size)
{
    return {buffer.data(), static_cast<std::size_t>(size)};
}

} // namespace

void PosixIcmpEcho::DeleteLater::operator()(QTimer *timer) const
{
    timer->stop();
    timer->deleteLater();
}

void PosixIcmpEcho::DeleteLater::operator()(QSocketNotifier *notifier) const
{
    notifier->setEnabled(false);
    notifier->deleteLater();
}

PosixIcmpEcho::PosixIcmpEcho() : m_identifier(static_cast<std::uint16_t>(::getpid() & 0xffff)) {}

PosixIcmpEcho::~PosixIcmpEcho() = default;

int PosixIcmpEcho::send(const QString &address, const QByteArray &data, int timeoutMs,
                        std::function<void(const EchoReply &)> done)
{
    const int id = ++m_lastId;
    Request &request = m_requests[id];
    request.sequence = nextSequence();
    request.done = std::move(done);
    request.outcome.status = icmp::kRequestTimedOut;
    request.timer.reset(new QTimer);
    request.timer->setSingleShot(true);
    QObject::connect(request.timer.get(), &QTimer::timeout, &m_context,
                     [this, id] { finish(id, m_requests.at(id).outcome); });

    // A request that cannot go out ends from the event loop all the same.
    const auto failAtOnce = [&](int status, const QString &failure) {
        request.outcome.status = status;
        request.outcome.failure = failure;
        request.timer->start(0);
        return id;
    };
    sockaddr_in target{};
    target.sin_family = AF_INET;
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &target.sin_addr) != 1)
        return failAtOnce(icmp::kGeneralFailure, {});
    if (const QString why = openSocket(); !why.isEmpty())
        return failAtOnce(icmp::kGeneralFailure, why);

    makeRoomForAnswers();
    const QByteArray packet = icmp::echoRequest(m_identifier, request.sequence, data);
    request.sent.start();
    if (::sendto(m_socket.get(), packet.constData(), static_cast<std::size_t>(packet.size()), 0,
                 reinterpret_cast<const sockaddr *>(&target), sizeof target) < 0)
        return failAtOnce(icmp::statusOfErrno(errno), {});
    request.timer->start(std::max(timeoutMs, 0));
    // A burst of requests (a pump tick of many sessions) would otherwise
    // queue all their answers before the event loop reads any.
    if (++m_sentUnread >= kSendsPerRead)
        readAnswers();
    return id;
}

void PosixIcmpEcho::cancel(int requestId)
{
    m_requests.erase(requestId);
    closeSocketWhenIdle();
}

QString PosixIcmpEcho::openSocket()
{
    if (m_socket.valid())
        return {};
    m_socket.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP));
    m_datagram = m_socket.valid();
    if (m_datagram) {
        const int on = 1;
        // The answer's TTL, and ICMP errors about our requests on the error queue.
        ::setsockopt(m_socket.get(), IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
        ::setsockopt(m_socket.get(), IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    } else {
        const int datagramError = errno;
        m_socket.reset(::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP));
        if (!m_socket.valid()) {
            return QStringLiteral("this user may not send pings: ICMP datagram sockets are not allowed "
                                  "(net.ipv4.ping_group_range; %1) and raw sockets need root or CAP_NET_RAW (%2)")
                .arg(errnoText(datagramError), errnoText(errno));
        }
        // A raw socket sees all ICMP traffic of the machine: let only
        // answers and errors through.
        icmp_filter filter{};
        filter.data = ~((1U << ICMP_ECHOREPLY) | (1U << ICMP_DEST_UNREACH) | (1U << ICMP_SOURCE_QUENCH)
                        | (1U << ICMP_TIME_EXCEEDED) | (1U << ICMP_PARAMETERPROB));
        ::setsockopt(m_socket.get(), SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    }
    int bufferBytes = 0;
    socklen_t size = sizeof bufferBytes;
    ::getsockopt(m_socket.get(), SOL_SOCKET, SO_RCVBUF, &bufferBytes, &size);
    m_answerRoom = static_cast<std::size_t>(std::max(bufferBytes, 0)) / kBufferPerAnswer;
    m_notifier.reset(new QSocketNotifier(m_socket.get(), QSocketNotifier::Read));
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, &m_context, [this] { readAnswers(); });
    return {};
}

void PosixIcmpEcho::closeSocketWhenIdle()
{
    if (!m_requests.empty() || !m_socket.valid())
        return;
    m_notifier.reset();
    m_socket.reset();
}

void PosixIcmpEcho::makeRoomForAnswers()
{
    if (m_requests.size() <= m_answerRoom)
        return;
    m_answerRoom = std::max(m_requests.size(), 2 * m_answerRoom);
    // The kernel doubles what it is given: half is asked for.
    const int bytes = static_cast<int>(std::min<std::size_t>(m_answerRoom * kBufferPerAnswer / 2, INT_MAX));
    // Root may go past the system's limit (net.core.rmem_max); anybody else
    // gets what the limit allows, and the reads between sends do the rest.
    if (::setsockopt(m_socket.get(), SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        ::setsockopt(m_socket.get(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

void PosixIcmpEcho::readAnswers()
{
    m_sentUnread = 0;
    if (m_datagram)
        readErrorQueue();
    static std::array<std::uint8_t, kReceiveSize> buffer;
    for (int n = 0; n < kAnswersPerWakeUp && m_socket.valid(); ++n) {
        sockaddr_in from{};
        iovec io{buffer.data(), buffer.size()};
        std::array<char, CMSG_SPACE(sizeof(int))> control{};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        const ssize_t size = ::recvmsg(m_socket.get(), &message, MSG_DONTWAIT);
        if (size < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        std::span<const std::uint8_t> icmpMessage = bytesOf(buffer, size);
        int ttl = 0;
        if (m_datagram) {
            for (cmsghdr *header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
                if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_TTL)
                    std::memcpy(&ttl, CMSG_DATA(header), sizeof ttl);
            }
        } else {
            const auto ip = icmp::stripIpHeader(icmpMessage);
            if (!ip)
                continue;
            ttl = ip->ttl;
            icmpMessage = ip->payload;
        }
        auto answer = icmp::readMessage(icmpMessage);
        if (!answer)
            continue;
        // The kernel gives a datagram socket's requests an identifier of its own.
        const std::uint16_t identifier = m_datagram ? m_identifier : answer->identifier;
        EchoReply reply;
        reply.status = answer->status;
        reply.address = dotted(from.sin_addr);
        reply.ttl = ttl;
        reply.data = std::move(answer->data);
        this->answer(identifier, answer->sequence, std::move(reply));
    }
}

void PosixIcmpEcho::readErrorQueue()
{
    static std::array<std::uint8_t, kReceiveSize> quoted;
    for (int n = 0; n < kAnswersPerWakeUp && m_socket.valid(); ++n) {
        iovec io{quoted.data(), quoted.size()};
        std::array<char, CMSG_SPACE(sizeof(sock_extended_err) + sizeof(sockaddr_in))> control{};
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        const ssize_t size = ::recvmsg(m_socket.get(), &message, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (size < 0)
            return;
        // The queue quotes our request from its ICMP header on.
        if (size < 8)
            continue;
        for (cmsghdr *header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level != IPPROTO_IP || header->cmsg_type != IP_RECVERR)
                continue;
            sock_extended_err error{};
            std::memcpy(&error, CMSG_DATA(header), sizeof error);
            EchoReply reply;
            reply.status = error.ee_origin == SO_EE_ORIGIN_ICMP
                               ? icmp::statusOfError(error.ee_type, error.ee_code).value_or(icmp::kGeneralFailure)
                               : icmp::statusOfErrno(static_cast<int>(error.ee_errno));
            sockaddr_in offender{};
            std::memcpy(&offender, CMSG_DATA(header) + sizeof error, sizeof offender);
            if (offender.sin_family == AF_INET)
                reply.address = dotted(offender.sin_addr);
            const auto sequence = static_cast<std::uint16_t>(quoted[6] << 8 | quoted[7]);
            answer(m_identifier, sequence, std::move(reply));
        }
    }
}

void PosixIcmpEcho::answer(std::uint16_t identifier, std::uint16_t sequence, EchoReply reply)
{
    if (identifier != m_identifier)
        return;
    for (auto &[id, request] : m_requests) {
        if (request.sequence == sequence && request.sent.isValid()) {
            reply.roundTripMs = static_cast<int>(request.sent.elapsed());
            // Delivered from the event loop: this may run inside send().
            request.sent.invalidate();
            request.outcome = std::move(reply);
            request.timer->start(0);
            return;
        }
    }
}

void PosixIcmpEcho::finish(int requestId, EchoReply reply)
{
    const auto found = m_requests.find(requestId);
    if (found == m_requests.end())
        return;
    const auto done = std::move(found->second.done);
    m_requests.erase(found);
    closeSocketWhenIdle();
    done(reply);
}

} // namespace pvx::platform
