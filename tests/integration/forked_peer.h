#pragma once

#include "support/wait_until.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <functional>

namespace pvx::test {

/// Another program in a forked child: `body` runs there and its result is
/// the child's exit status. The child is a copy of a threaded process, so
/// `body` may only make plain system calls (the helpers below), never
/// allocate or touch Qt.
class ForkedPeer {
public:
    explicit ForkedPeer(const std::function<int()> &body)
    {
        m_pid = ::fork();
        if (m_pid == 0) {
            ::alarm(20); // a child that hangs ends by itself
            // Holding copies of our descriptors (the master, the lock) would
            // keep the port alive behind our back.
            ::close_range(3, ~0U, 0);
            ::_exit(body());
        }
    }
    ForkedPeer(const ForkedPeer &) = delete;
    ForkedPeer &operator=(const ForkedPeer &) = delete;
    ~ForkedPeer()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    bool started() const { return m_pid > 0; }

    /// Runs the event loop until the child ends; its exit status, or -1 when
    /// it was killed or did not end in time.
    int wait(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        int status = 0;
        const bool ended = waitUntil([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, timeout);
        if (!ended)
            return -1;
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
};

namespace peer {

inline int openPort(const char *path)
{
    return ::open(path, O_RDWR | O_NOCTTY);
}

inline bool writeAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

/// Reads exactly `size` bytes, waiting at most 5 s for each piece.
inline bool readExactly(int fd, char *into, std::size_t size)
{
    while (size > 0) {
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, 5000) != 1)
            return false;
        const ssize_t got = ::read(fd, into, size);
        if (got <= 0)
            return false;
        into += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

inline bool sameBytes(const char *a, const char *b, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

} // namespace peer

} // namespace pvx::test
