#include "platform/linux/posix_icmp_echo.h"

#include "platform/linux/icmp_packet.h"
#include "platform/linux/ip_address.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
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

QString addressText(const sockaddr_storage &address)
{
    return QHostAddress(reinterpret_cast<const sockaddr *>(&address)).toString();
}

/// Where a request to `address` goes, and over which family; nothing when it
/// is no address (or names a zone that does not exist).
std::optional<std::pair<sockaddr_storage, icmp::Family>> target(const QString &address)
{
    QHostAddress parsed;
    if (!parsed.setAddress(address.trimmed()))
        return std::nullopt;
    sockaddr_storage storage{};
    bool isIPv4 = false;
    const quint32 ipv4 = parsed.toIPv4Address(&isIPv4);
    if (isIPv4) {
        auto *v4 = reinterpret_cast<sockaddr_in *>(&storage);
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(ipv4);
        return std::pair{storage, icmp::Family::IPv4};
    }
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&storage);
    v6->sin6_family = AF_INET6;
    const Q_IPV6ADDR bytes = parsed.toIPv6Address();
    std::memcpy(&v6->sin6_addr, bytes.c, sizeof bytes.c);
    if (const QString zone = parsed.scopeId(); !zone.isEmpty()) {
        v6->sin6_scope_id = zoneIndex(zone);
        if (v6->sin6_scope_id == 0)
            return std::nullopt;
    }
    return std::pair{storage, icmp::Family::IPv6};
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

PosixIcmpEcho::PosixIcmpEcho() : m_identifier(static_cast<std::uint16_t>(::getpid() & 0xffff))
{
    m_channels[1].family = icmp::Family::IPv6;
}

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
    const auto destination = target(address);
    if (!destination)
        return failAtOnce(icmp::kGeneralFailure, {});
    const auto &[to, family] = *destination;
    Channel &channel = m_channels[family == icmp::Family::IPv6 ? 1 : 0];
    if (const QString why = openSocket(channel); !why.isEmpty())
        return failAtOnce(icmp::kGeneralFailure, why);

    makeRoomForAnswers(channel);
    const QByteArray packet = icmp::echoRequest(m_identifier, request.sequence, data, family);
    request.sent.start();
    const socklen_t toSize = family == icmp::Family::IPv6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (::sendto(channel.socket.get(), packet.constData(), static_cast<std::size_t>(packet.size()), 0,
                 reinterpret_cast<const sockaddr *>(&to), toSize) < 0)
        return failAtOnce(icmp::statusOfErrno(errno), {});
    request.timer->start(std::max(timeoutMs, 0));
    // A burst of requests (a pump tick of many sessions) would otherwise
    // queue all their answers before the event loop reads any.
    if (++m_sentUnread >= kSendsPerRead)
        readAllAnswers();
    return id;
}

void PosixIcmpEcho::cancel(int requestId)
{
    m_requests.erase(requestId);
    closeSocketsWhenIdle();
}

QString PosixIcmpEcho::openSocket(Channel &channel)
{
    if (channel.socket.valid())
        return {};
    const bool v6 = channel.family == icmp::Family::IPv6;
    const int domain = v6 ? AF_INET6 : AF_INET;
    const int protocol = v6 ? int{IPPROTO_ICMPV6} : int{IPPROTO_ICMP};
    channel.socket.reset(::socket(domain, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol));
    channel.datagram = channel.socket.valid();
    const int on = 1;
    if (channel.datagram) {
        // The answer's TTL, and ICMP errors about our requests on the error queue.
        if (v6) {
            ::setsockopt(channel.socket.get(), IPPROTO_IPV6, IPV6_RECVHOPLIMIT, &on, sizeof on);
            ::setsockopt(channel.socket.get(), IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof on);
        } else {
            ::setsockopt(channel.socket.get(), IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
            ::setsockopt(channel.socket.get(), IPPROTO_IP, IP_RECVERR, &on, sizeof on);
        }
    } else {
        const int datagramError = errno;
        channel.socket.reset(::socket(domain, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol));
        if (!channel.socket.valid()) {
            return QStringLiteral("this user may not send pings: ICMP datagram sockets are not allowed "
                                  "(net.ipv4.ping_group_range; %1) and raw sockets need root or CAP_NET_RAW (%2)")
                .arg(errnoText(datagramError), errnoText(errno));
        }
        // A raw socket sees all ICMP traffic of the machine: let only
        // answers and errors through.
        if (v6) {
            // Raw ICMPv6 carries no IP header: the hop limit comes apart.
            ::setsockopt(channel.socket.get(), IPPROTO_IPV6, IPV6_RECVHOPLIMIT, &on, sizeof on);
            icmp6_filter filter{};
            ICMP6_FILTER_SETBLOCKALL(&filter);
            for (const int type : {ICMP6_ECHO_REPLY, ICMP6_DST_UNREACH, ICMP6_PACKET_TOO_BIG, ICMP6_TIME_EXCEEDED,
                                   ICMP6_PARAM_PROB})
                ICMP6_FILTER_SETPASS(type, &filter);
            ::setsockopt(channel.socket.get(), IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
        } else {
            icmp_filter filter{};
            filter.data = ~((1U << ICMP_ECHOREPLY) | (1U << ICMP_DEST_UNREACH) | (1U << ICMP_SOURCE_QUENCH)
                            | (1U << ICMP_TIME_EXCEEDED) | (1U << ICMP_PARAMETERPROB));
            ::setsockopt(channel.socket.get(), SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
        }
    }
    int bufferBytes = 0;
    socklen_t size = sizeof bufferBytes;
    ::getsockopt(channel.socket.get(), SOL_SOCKET, SO_RCVBUF, &bufferBytes, &size);
    channel.answerRoom = static_cast<std::size_t>(std::max(bufferBytes, 0)) / kBufferPerAnswer;
    channel.notifier.reset(new QSocketNotifier(channel.socket.get(), QSocketNotifier::Read));
    QObject::connect(channel.notifier.get(), &QSocketNotifier::activated, &m_context,
                     [this, &channel] { readAnswers(channel); });
    return {};
}

void PosixIcmpEcho::closeSocketsWhenIdle()
{
    if (!m_requests.empty())
        return;
    for (Channel &channel : m_channels) {
        channel.notifier.reset();
        channel.socket.reset();
    }
}

void PosixIcmpEcho::makeRoomForAnswers(Channel &channel)
{
    if (m_requests.size() <= channel.answerRoom)
        return;
    channel.answerRoom = std::max(m_requests.size(), 2 * channel.answerRoom);
    // The kernel doubles what it is given: half is asked for.
    const int bytes = static_cast<int>(std::min<std::size_t>(channel.answerRoom * kBufferPerAnswer / 2, INT_MAX));
    // Root may go past the system's limit (net.core.rmem_max); anybody else
    // gets what the limit allows, and the reads between sends do the rest.
    if (::setsockopt(channel.socket.get(), SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        ::setsockopt(channel.socket.get(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

void PosixIcmpEcho::readAllAnswers()
{
    m_sentUnread = 0;
    for (Channel &channel : m_channels)
        readAnswers(channel);
}

void PosixIcmpEcho::readAnswers(Channel &channel)
{
    m_sentUnread = 0;
    const bool v6 = channel.family == icmp::Family::IPv6;
    if (channel.datagram)
        readErrorQueue(channel);
    static std::array<std::uint8_t, kReceiveSize> buffer;
    for (int n = 0; n < kAnswersPerWakeUp && channel.socket.valid(); ++n) {
        sockaddr_storage from{};
        iovec io{buffer.data(), buffer.size()};
        std::array<char, CMSG_SPACE(sizeof(int))> control{};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        const ssize_t size = ::recvmsg(channel.socket.get(), &message, MSG_DONTWAIT);
        if (size < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        std::span<const std::uint8_t> icmpMessage = bytesOf(buffer, size);
        int ttl = 0;
        if (channel.datagram || v6) {
            for (cmsghdr *header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
                if ((header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_TTL)
                    || (header->cmsg_level == IPPROTO_IPV6 && header->cmsg_type == IPV6_HOPLIMIT))
                    std::memcpy(&ttl, CMSG_DATA(header), sizeof ttl);
            }
        } else {
            const auto ip = icmp::stripIpHeader(icmpMessage);
            if (!ip)
                continue;
            ttl = ip->ttl;
            icmpMessage = ip->payload;
        }
        auto answer = icmp::readMessage(icmpMessage, channel.family);
        if (!answer)
            continue;
        // The kernel gives a datagram socket's requests an identifier of its own.
        const std::uint16_t identifier = channel.datagram ? m_identifier : answer->identifier;
        EchoReply reply;
        reply.status = answer->status;
        reply.address = addressText(from);
        reply.ttl = ttl;
        reply.data = std::move(answer->data);
        this->answer(identifier, answer->sequence, std::move(reply));
    }
}

void PosixIcmpEcho::readErrorQueue(Channel &channel)
{
    const bool v6 = channel.family == icmp::Family::IPv6;
    static std::array<std::uint8_t, kReceiveSize> quoted;
    for (int n = 0; n < kAnswersPerWakeUp && channel.socket.valid(); ++n) {
        iovec io{quoted.data(), quoted.size()};
        std::array<char, CMSG_SPACE(sizeof(sock_extended_err) + sizeof(sockaddr_in6))> control{};
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        const ssize_t size = ::recvmsg(channel.socket.get(), &message, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (size < 0)
            return;
        // The queue quotes our request from its ICMP header on.
        if (size < 8)
            continue;
        for (cmsghdr *header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
            const bool isError = v6 ? header->cmsg_level == IPPROTO_IPV6 && header->cmsg_type == IPV6_RECVERR
                                    : header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_RECVERR;
            if (!isError)
                continue;
            sock_extended_err error{};
            std::memcpy(&error, CMSG_DATA(header), sizeof error);
            const bool fromIcmp = error.ee_origin == (v6 ? SO_EE_ORIGIN_ICMP6 : SO_EE_ORIGIN_ICMP);
            EchoReply reply;
            reply.status = fromIcmp ? icmp::statusOfError(error.ee_type, error.ee_code, channel.family)
                                          .value_or(icmp::kGeneralFailure)
                                    : icmp::statusOfErrno(static_cast<int>(error.ee_errno));
            sockaddr_storage offender{};
            const std::size_t room = header->cmsg_len - CMSG_LEN(sizeof error);
            std::memcpy(&offender, CMSG_DATA(header) + sizeof error, std::min(room, sizeof(sockaddr_in6)));
            if (offender.ss_family == AF_INET || offender.ss_family == AF_INET6)
                reply.address = addressText(offender);
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
    closeSocketsWhenIdle();
    done(reply);
}

} // namespace pvx::platform
