#pragma once

#include "platform/command_channel.h"
#include "platform/linux/unique_fd.h"

#include <QObject>
#include <QString>

#include <chrono>
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
/// Event-loop thread only; requests reach the handler from the event loop.
class LocalCommandChannel final : public CommandChannel {
public:
    /// `stallTimeout`: how long a client may take to finish a request it has
    /// begun, or to read its reply, before it is dropped.
    explicit LocalCommandChannel(QString socketPath,
                                 std::chrono::milliseconds stallTimeout = std::chrono::seconds(5));
    ~LocalCommandChannel() override;
    LocalCommandChannel(const LocalCommandChannel &) = delete;
    LocalCommandChannel &operator=(const LocalCommandChannel &) = delete;

    /// Fails, saying why, when the path does not fit a socket address, when
    /// another process answers on it, or when the socket cannot be made.
    Result<void> listen(Handler handler) override;

private:
    void accept(UniqueFd connection);

    QString m_path;
    std::chrono::milliseconds m_stallTimeout;
    Handler m_handler;
    // Parent of the connections, which die with it.
    QObject m_connections;
    int m_connectionCount = 0;
    std::unique_ptr<TcpListener> m_listener;
    // Which file is ours to remove at the end.
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

} // namespace pvx::platform
