#pragma once

#include <unistd.h>

#include <utility>

namespace pvx::platform {

/// Owns one file descriptor and closes it when destroyed or reset.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

    /// Closes now and returns the close's own result (a full disk may only
    /// show here).
    int close() { return ::close(std::exchange(m_fd, -1)); }

    /// Gives the descriptor up without closing it.
    int release() { return std::exchange(m_fd, -1); }

    /// Closes the descriptor held and takes `fd` instead.
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

} // namespace pvx::platform
