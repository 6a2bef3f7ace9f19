#pragma once

#include <map>

class QTcpSocket;

namespace pvx::platform {

/// Connections that listening sockets have received and not yet handed to a
/// socket, by request id. Shared by every socket of one factory, so that any
/// of them can accept a request that another one received. Owns the waiting
/// connections; whatever still waits when this dies is closed.
class PendingConnections {
public:
    PendingConnections() = default;
    ~PendingConnections();
    PendingConnections(const PendingConnections &) = delete;
    PendingConnections &operator=(const PendingConnections &) = delete;

    /// Takes ownership of `connection` and returns its new request id (> 0).
    int add(QTcpSocket *connection);
    /// Hands the connection of request `id` to the caller; nullptr when no
    /// such request waits.
    QTcpSocket *take(int id);
    /// Closes and deletes the connection of request `id` if it still waits.
    void reject(int id);

private:
    std::map<int, QTcpSocket *> m_waiting;
    int m_lastId = 0;
};

} // namespace pvx::platform
