#include "platform/linux/local_command_channel.h"

#include "platform/linux/local_socket_address.h"
#include "platform/linux/posix_error.h"
#include "platform/linux/tcp_listener.h"

#include <QFile>

#include <cerrno>

#include <sys/socket.h>
#include <sys/stat.h>

namespace pvx::platform {

namespace {

constexpr char kTooManyConnections[] = "too many connections on the command channel\n";

/// Binds with the socket file made owner-only from its first moment.
int bindPrivately(const UniqueFd &fd, const sockaddr_un &address)
{
    const mode_t previous = ::umask(077);
    const int bound = ::bind(fd.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address);
    const int error = errno;
    ::umask(previous);
    errno = error;
    return bound;
}

/// Removes the socket file at `address` when nothing answers on it.
Result<void> removeStaleSocket(const sockaddr_un &address, const QString &path)
{
    struct stat info {};
    if (::lstat(address.sun_path, &info) != 0)
        return {};
    if (!S_ISSOCK(info.st_mode))
        return makeError(ErrorCode::Busy, path + QStringLiteral(" exists and is not a socket"));
    UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!probe.valid())
        return posixError(errno, QStringLiteral("Cannot make a socket"));
    // A full queue (EAGAIN) is a live listener too.
    if (::connect(probe.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 || errno == EAGAIN)
        return makeError(ErrorCode::Busy, QStringLiteral("another process answers on ") + path);
    if (errno != ECONNREFUSED)
        return posixError(errno, QStringLiteral("Cannot probe ") + path);
    if (::unlink(address.sun_path) != 0 && errno != ENOENT)
        return posixError(errno, QStringLiteral("Cannot remove the stale socket ") + path);
    return {};
}

} // namespace

LocalCommandChannel::LocalCommandChannel(QString socketPath, CommandTimeouts timeouts, int maxConnections)
    : m_path(std::move(socketPath)), m_timeouts(timeouts), m_maxConnections(maxConnections)
{
}

void LocalCommandChannel::onConnectionEnded(std::function<void()> ended)
{
    m_connectionEnded = std::move(ended);
}

LocalCommandChannel::~LocalCommandChannel()
{
    if (!m_listener)
        return;
    m_listener->stop();
    // Only the file this channel made: a later instance may own the path.
    struct stat info {};
    const QByteArray path = QFile::encodeName(m_path);
    if (::lstat(path.constData(), &info) == 0 && info.st_dev == m_device && info.st_ino == m_inode)
        ::unlink(path.constData());
}

Result<void> LocalCommandChannel::listen(Handler handler)
{
    if (m_listener)
        return makeError(ErrorCode::WrongState, QStringLiteral("The command channel listens already"));
    const auto address = localSocketAddress(m_path);
    if (!address)
        return address.error();
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid())
        return posixError(errno, QStringLiteral("Cannot make a socket"));
    int bound = bindPrivately(fd, *address);
    if (bound != 0 && errno == EADDRINUSE) {
        if (auto removed = removeStaleSocket(*address, m_path); !removed)
            return removed.error();
        bound = bindPrivately(fd, *address);
    }
    struct stat info {};
    if (bound != 0 || ::chmod(address->sun_path, 0600) != 0 || ::listen(fd.get(), SOMAXCONN) != 0
        || ::lstat(address->sun_path, &info) != 0)
        return posixError(errno, QStringLiteral("Cannot listen on ") + m_path);
    m_device = info.st_dev;
    m_inode = info.st_ino;
    m_handler = std::move(handler);
    m_listener = TcpListener::adopt(
        std::move(fd), {.accepted = [this](UniqueFd connection) { accept(std::move(connection)); },
                        // Accepting resumes by itself; the clients wait meanwhile.
                        .paused = [](const QString &) {},
                        .failed = [](int, const QString &why) {
                            qWarning("porvix: the command channel stopped: %s", qUtf8Printable(why));
                        }});
    return {};
}

void LocalCommandChannel::accept(UniqueFd connection)
{
    if (m_connectionCount >= m_maxConnections) {
        // Turned away rather than running the program out of descriptors,
        // with a word the client can show: a bare close reads as a reset,
        // as if no instance were there. The line fits any empty socket
        // buffer.
        (void)::send(connection.get(), kTooManyConnections, sizeof kTooManyConnections - 1,
                     MSG_NOSIGNAL | MSG_DONTWAIT);
        return;
    }
    ++m_connectionCount;
    new CommandConnection(std::move(connection), m_handler, m_timeouts,
                          [this] {
                              --m_connectionCount;
                              if (m_connectionEnded)
                                  m_connectionEnded();
                          },
                          &m_connections);
}

} // namespace pvx::platform
