#pragma once

#include "platform/command_channel.h"
#include "platform/linux/command_connection.h"
#include "platform/linux/unique_fd.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include <sys/types.h>

namespace pvx::platform {

class TcpListener;

/// The command channel on a Unix-domain socket that only its owner may use
/// (mode 0600, made so from the start). Requests and replies are lines; see
/// CommandConnection. A socket file that nothing answers on any more (left
/// by an instance that crashed) is replaced; one that answers is left alone
/// and listen() fails. The socket file goes when the channel does.
///
/// At most `maxConnections` clients are served at once; one more is told
/// "too many connections on the command channel" on a line of its own, and
/// closed.
///
/// Event-loop thread only; requests reach the handler from the event loop.
class LocalCommandChannel final : public CommandChannel {
public:
    static constexpr int kMaxConnections = 1024;

    explicit LocalCommandChannel(QString socketPath, CommandTimeouts timeouts = {},
                                 int maxConnections = kMaxConnections);
    ~LocalCommandChannel() override;
    LocalCommandChannel(const LocalCommandChannel &) = delete;
    LocalCommandChannel &operator=(const LocalCommandChannel &) = delete;

    /// Fails, saying why, when the path does not fit a socket address, when
    /// another process answers on it, or when the socket cannot be made.
    Result<void> listen(Handler handler) override;
    /// Called from the event loop after each connection has ended.
    void onConnectionEnded(std::function<void()> ended);

private:
    void accept(UniqueFd connection);

    QString m_path;
    CommandTimeouts m_timeouts;
    int m_maxConnections;
    Handler m_handler;
    std::function<void()> m_connectionEnded;
    // Parent of the connections, which die with it.
    QObject m_connections;
    int m_connectionCount = 0;
    std::unique_ptr<TcpListener> m_listener;
    // Which file is ours to remove at the end.
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

} // namespace pvx::platform
