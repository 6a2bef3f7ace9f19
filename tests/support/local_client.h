#pragma once

#include "support/wait_until.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace pvx::testing {

/// A test's raw client of a local stream socket: it writes exactly the bytes
/// the test gives and reads only when asked, so it can misbehave on purpose.
/// Never blocks; reading waits in the event loop.
class LocalClient {
public:
    explicit LocalClient(const QString &path) : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray encoded = QFile::encodeName(path);
        std::memcpy(address.sun_path, encoded.constData(), static_cast<std::size_t>(encoded.size()));
        m_connected = ::connect(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    }
    ~LocalClient() { close(); }
    LocalClient(const LocalClient &) = delete;
    LocalClient &operator=(const LocalClient &) = delete;

    bool connected() const { return m_connected; }
    /// Writes what the socket takes now; returns how much that was.
    qsizetype send(const QByteArray &bytes)
    {
        const ssize_t sent = ::send(m_fd, bytes.constData(), static_cast<std::size_t>(bytes.size()), MSG_NOSIGNAL);
        return sent > 0 ? sent : 0;
    }
    void shutdownSending() { ::shutdown(m_fd, SHUT_WR); }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    /// Reads until `lines` line ends have come, the peer closed, or the
    /// timeout passed; returns everything read so far.
    QByteArray readLines(int lines, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        waitUntil([&] {
            pull();
            return m_closed || m_received.count('\n') >= lines;
        }, timeout);
        return m_received;
    }
    /// Whether the peer closed the connection within `timeout`.
    bool closedByPeer(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        return waitUntil([&] {
            pull();
            return m_closed;
        }, timeout);
    }
    QByteArray received() const { return m_received; }

private:
    void pull()
    {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0) {
                m_received.append(buffer, got);
                continue;
            }
            if (got == 0 || (errno != EAGAIN && errno != EINTR))
                m_closed = true;
            return;
        }
    }

    int m_fd;
    bool m_connected = false;
    bool m_closed = false;
    QByteArray m_received;
};

} // namespace pvx::testing
