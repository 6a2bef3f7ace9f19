#pragma once

#include "platform/linux/unique_fd.h"

#include <map>

namespace pvx::platform {

/// Connections that listening sockets have accepted from the kernel and not
/// yet handed to a socket, by request id. Shared by every socket of one
/// factory, so that any of them can accept a request that another one
/// received. Owns the waiting descriptors; whatever still waits when this
/// dies is closed.
class PendingConnections {
public:
    PendingConnections() = default;
    PendingConnections(const PendingConnections &) = delete;
    PendingConnections &operator=(const PendingConnections &) = delete;

    /// Takes ownership of `connection` and returns its new request id (> 0).
    int add(UniqueFd connection);
    /// Hands the connection of request `id` to the caller; invalid when no
    /// such request waits.
    UniqueFd take(int id);
    /// Closes the connection of request `id` if it still waits.
    void reject(int id);

private:
    std::map<int, UniqueFd> m_waiting;
    int m_lastId = 0;
};

} // namespace pvx::platform
