#include "platform/linux/tcp_connection.h"

#include "platform/linux/descriptor_read.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>

namespace pvx::platform {

namespace {

// Arrays handed to the kernel in one call.
constexpr std::size_t kVectorLength = 64;

} // namespace

TcpConnection::TcpConnection(UniqueFd socket, Events events)
    : m_socket(std::move(socket)),
      m_events(std::move(events)),
      m_readNotifier(m_socket.get(), QSocketNotifier::Read),
      m_writeNotifier(m_socket.get(), QSocketNotifier::Write)
{
    m_writeNotifier.setEnabled(false);
    QObject::connect(&m_readNotifier, &QSocketNotifier::activated, &m_readNotifier, [this] { onReadable(); });
    QObject::connect(&m_writeNotifier, &QSocketNotifier::activated, &m_writeNotifier, [this] { onWritable(); });
}

qint64 TcpConnection::bytesAvailable() const
{
    // More that arrives raises the readable event, which drops the count;
    // once reading has stopped no event comes, so the kernel is asked.
    if (m_counted && m_reading)
        return m_available;
    int waiting = 0;
    m_available = ::ioctl(m_socket.get(), FIONREAD, &waiting) == 0 ? waiting : 0;
    m_counted = true;
    return m_available;
}

void TcpConnection::resumeReading()
{
    m_raised = false;
    m_readNotifier.setEnabled(m_reading);
}

void TcpConnection::stopReading()
{
    m_reading = false;
    m_readNotifier.setEnabled(false);
}

qint64 TcpConnection::read(char *buffer, qint64 maxBytes)
{
    resumeReading();
    if (maxBytes <= 0)
        return 0;
    const qint64 filled = readUpTo(m_socket.get(), buffer, maxBytes);
    m_available = filled < maxBytes ? 0 : std::max<qint64>(m_available - filled, 0);
    return filled;
}

TcpConnection::Ending TcpConnection::ending(int &error) const
{
    char next = 0;
    for (;;) {
        const ssize_t got = ::recv(m_socket.get(), &next, 1, MSG_PEEK | MSG_DONTWAIT);
        if (got == 0)
            return Ending::Closed;
        if (got > 0 || errno == EAGAIN || errno == EWOULDBLOCK)
            return Ending::Open;
        if (errno != EINTR) {
            error = errno;
            return Ending::Failed;
        }
    }
}

bool TcpConnection::peerReset() const
{
    int pending = 0;
    socklen_t length = sizeof pending;
    if (::getsockopt(m_socket.get(), SOL_SOCKET, SO_ERROR, &pending, &length) == 0 && pending == ECONNRESET)
        return true;
    // A failed send has taken the error already; the state still tells: a
    // FIN leaves the connection in CLOSE_WAIT, a reset closes it.
    tcp_info info{};
    length = sizeof info;
    return ::getsockopt(m_socket.get(), IPPROTO_TCP, TCP_INFO, &info, &length) == 0 && info.tcpi_state == TCP_CLOSE;
}

void TcpConnection::close()
{
    stopReading();
    m_writeNotifier.setEnabled(false);
    m_events = {};
    // Closed with unread input the kernel resets the connection, and what
    // is still on its way to the peer is lost: throw the input away first,
    // so that the peer gets everything sent and then an orderly end.
    for (qint64 unread = bytesAvailable(); unread > 0; unread = bytesAvailable()) {
        if (::recv(m_socket.get(), nullptr, static_cast<std::size_t>(unread), MSG_TRUNC | MSG_DONTWAIT) <= 0)
            break;
    }
    m_socket.reset();
    m_queue.clear();
    m_queued = 0;
    m_failed = true;
}

void TcpConnection::send(const QByteArray &bytes)
{
    if (m_failed || bytes.isEmpty())
        return;
    m_queue.push_back(bytes);
    m_queued += bytes.size();
    // Behind a queue the bytes wait their turn: the writable event sends them.
    if (m_held || m_queue.size() > 1)
        return;
    const Flushed flushed = flush();
    if (m_queued > 0)
        m_writeNotifier.setEnabled(true);
    if (flushed.error != 0 && m_events.sendFailed)
        m_events.sendFailed(flushed.error);
}

void TcpConnection::holdSending(bool held)
{
    m_held = held;
    // The writable event sends what waited, so that no event comes from
    // inside this call.
    m_writeNotifier.setEnabled(!m_held && !m_failed && m_queued > 0);
}

TcpConnection::Flushed TcpConnection::flush()
{
    Flushed flushed;
    while (!m_queue.empty()) {
        std::array<iovec, kVectorLength> vector{};
        std::size_t count = 0;
        std::size_t offered = 0;
        for (auto it = m_queue.begin(); it != m_queue.end() && count < vector.size(); ++it, ++count) {
            const qsizetype skip = count == 0 ? m_sentOfFirst : 0;
            vector[count] = {const_cast<char *>(it->constData()) + skip, static_cast<std::size_t>(it->size() - skip)};
            offered += vector[count].iov_len;
        }
        msghdr message{};
        message.msg_iov = vector.data();
        message.msg_iovlen = count;
        const ssize_t sent = ::sendmsg(m_socket.get(), &message, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                flushed.error = errno;
                m_failed = true;
                m_queue.clear();
                m_sentOfFirst = 0;
                m_queued = 0;
            }
            return flushed;
        }
        flushed.sent += sent;
        m_queued -= sent;
        for (qsizetype left = sent; left > 0;) {
            const qsizetype rest = m_queue.front().size() - m_sentOfFirst;
            if (left < rest) {
                m_sentOfFirst += left;
                break;
            }
            left -= rest;
            m_queue.pop_front();
            m_sentOfFirst = 0;
        }
        // The kernel took less than it was offered: it is full for now.
        if (static_cast<std::size_t>(sent) < offered)
            return flushed;
    }
    return flushed;
}

void TcpConnection::onReadable()
{
    // The last event is still unread: wait for the read rather than fire
    // without end. Switching the notifier off only then, not on every
    // event, spares the event loop a change of its poll set per chunk.
    m_counted = false;
    if (m_raised) {
        m_readNotifier.setEnabled(false);
        return;
    }
    m_raised = true;
    // Last: a handler may close and dispose of this connection.
    if (m_events.readable)
        m_events.readable();
}

void TcpConnection::onWritable()
{
    const Flushed flushed = flush();
    if (m_queue.empty())
        m_writeNotifier.setEnabled(false);
    // Last: a handler may close and dispose of this connection.
    if (flushed.error != 0 && m_events.sendFailed)
        m_events.sendFailed(flushed.error);
    else if (flushed.sent > 0 && m_events.sent)
        m_events.sent(flushed.sent);
}

} // namespace pvx::platform
