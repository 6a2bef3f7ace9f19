#include "platform/linux/command_client.h"

#include "platform/linux/local_socket_address.h"
#include "platform/linux/posix_error.h"
#include "platform/linux/unique_fd.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <optional>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pvx::platform {

namespace {

// Far more than any answer; a server that sends more is not ours.
constexpr qsizetype kMaxAnswer = 16 * 1024 * 1024;
constexpr int kRetryConnectMs = 20;

Result<UniqueFd> connectTo(const QString &socketPath, const QDeadlineTimer &deadline)
{
    const auto address = localSocketAddress(socketPath);
    if (!address)
        return address.error();
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid())
        return posixError(errno, QStringLiteral("Cannot make a socket"));
    for (;;) {
        if (::connect(fd.get(), reinterpret_cast<const sockaddr *>(&*address), sizeof *address) == 0)
            return fd;
        // A local listener whose queue is full refuses with EAGAIN rather
        // than letting the connect wait: try again until the deadline.
        if (errno == EAGAIN && !deadline.hasExpired()) {
            ::poll(nullptr, 0, kRetryConnectMs);
            continue;
        }
        if (errno != EINTR)
            return posixError(errno, QStringLiteral("No instance answers at ") + socketPath);
    }
}

Result<pid_t> peerPid(const UniqueFd &fd)
{
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return posixError(errno, QStringLiteral("Cannot tell who listens on the command socket"));
    return credentials.pid;
}

/// Waits for `events` on `fd` until `deadline`; false when time ran out.
bool waitFor(const UniqueFd &fd, short events, const QDeadlineTimer &deadline)
{
    pollfd watched{fd.get(), events, 0};
    for (;;) {
        const int ready = ::poll(&watched, 1, static_cast<int>(deadline.remainingTime()));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

Error timedOut(const QString &socketPath)
{
    return makeError(ErrorCode::TimedOut, QStringLiteral("The instance at %1 did not answer in time").arg(socketPath));
}

/// The data lines and the final word of `answer`, or nothing while it is not
/// complete yet; `end` is then where what follows the final word begins. A
/// final line other than ACK or NAK is the instance's reason for turning the
/// connection away.
std::optional<Result<CommandReply>> parseAnswer(const QByteArray &answer, qsizetype &end)
{
    CommandReply reply;
    qsizetype start = 0;
    for (end = answer.indexOf('\n'); end >= 0; start = end + 1, end = answer.indexOf('\n', start)) {
        const QString line = QString::fromUtf8(answer.mid(start, end - start));
        if (line.startsWith(QLatin1Char('\t'))) {
            reply.data.append(line.mid(1));
            continue;
        }
        if (line != QLatin1String("ACK") && line != QLatin1String("NAK"))
            return Result<CommandReply>(makeError(ErrorCode::Busy, line));
        reply.accepted = line == QLatin1String("ACK");
        ++end;
        return Result<CommandReply>(std::move(reply));
    }
    return std::nullopt;
}

Result<void> writeAll(int output, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const ssize_t wrote = ::write(output, bytes.data(), static_cast<std::size_t>(bytes.size()));
        if (wrote < 0 && errno != EINTR)
            return posixError(errno, QStringLiteral("Cannot write out the stream"));
        if (wrote > 0)
            bytes = bytes.sliced(wrote);
    }
    return {};
}

/// One request and its answer up to the final word, on a connection that
/// stays open for whatever follows.
struct Exchange {
    CommandReply reply;
    pid_t serverPid = 0;
    UniqueFd connection;
    QByteArray rest;
};

Result<Exchange> exchange(const QString &socketPath, const QString &topic, const QString &command,
                          std::chrono::milliseconds timeout)
{
    const auto lineBreak = [](const QString &text) {
        return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
    };
    if (topic.isEmpty() || topic.contains(QLatin1Char('\t')) || lineBreak(topic) || lineBreak(command))
        return makeError(ErrorCode::InvalidArgument,
                         QStringLiteral("A topic is one word without tabs, and a command one line"));
    const QDeadlineTimer deadline(timeout);
    auto fd = connectTo(socketPath, deadline);
    if (!fd)
        return fd.error();
    auto pid = peerPid(*fd);
    if (!pid)
        return pid.error();

    const QByteArray request = topic.toUtf8() + '\t' + command.toUtf8() + '\n';
    for (qsizetype sent = 0; sent < request.size();) {
        if (!waitFor(*fd, POLLOUT, deadline))
            return timedOut(socketPath);
        const ssize_t wrote = ::send(fd->get(), request.constData() + sent, static_cast<std::size_t>(request.size() - sent),
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
        // An instance that turns the connection away closes it at once; what
        // it said before that is read below.
        if (wrote < 0 && (errno == EPIPE || errno == ECONNRESET))
            break;
        if (wrote < 0 && errno != EAGAIN && errno != EINTR)
            return posixError(errno, QStringLiteral("Cannot send to ") + socketPath);
        sent += wrote > 0 ? wrote : 0;
    }

    QByteArray answer;
    char buffer[4096];
    for (;;) {
        qsizetype end = 0;
        if (auto reply = parseAnswer(answer, end)) {
            if (!*reply)
                return reply->error();
            return Exchange{std::move(**reply), *pid, std::move(*fd), answer.mid(end)};
        }
        if (answer.size() > kMaxAnswer)
            return makeError(ErrorCode::IoError, QStringLiteral("The answer from %1 has no end").arg(socketPath));
        if (!waitFor(*fd, POLLIN, deadline))
            return timedOut(socketPath);
        const ssize_t got = ::recv(fd->get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (got == 0)
            return makeError(ErrorCode::IoError,
                             QStringLiteral("The instance at %1 closed the connection without an answer").arg(socketPath));
        if (got < 0 && errno != EAGAIN && errno != EINTR)
            return posixError(errno, QStringLiteral("Cannot read from ") + socketPath);
        if (got > 0)
            answer.append(buffer, got);
    }
}

} // namespace

Result<CommandAnswer> sendCommand(const QString &socketPath, const QString &topic, const QString &command,
                                  std::chrono::milliseconds timeout)
{
    auto answered = exchange(socketPath, topic, command, timeout);
    if (!answered)
        return answered.error();
    return CommandAnswer{std::move(answered->reply), answered->serverPid};
}

Result<CommandStreamAnswer> openCommandStream(const QString &socketPath, const QString &topic,
                                              const QString &command, std::chrono::milliseconds timeout)
{
    auto answered = exchange(socketPath, topic, command, timeout);
    if (!answered)
        return answered.error();
    if (!answered->reply.accepted)
        return CommandStreamAnswer{std::move(answered->reply), {}, {}};
    return CommandStreamAnswer{std::move(answered->reply), std::move(answered->connection),
                               std::move(answered->rest)};
}

Result<void> copyCommandStream(CommandStreamAnswer &answer, int output)
{
    if (auto written = writeAll(output, answer.begun); !written)
        return written;
    char buffer[65536];
    for (;;) {
        // Waits as long as it takes: a client process with nothing else to do.
        pollfd watched{answer.connection.get(), POLLIN, 0};
        if (::poll(&watched, 1, -1) < 0 && errno != EINTR)
            return posixError(errno, QStringLiteral("Cannot wait for the stream"));
        const ssize_t got = ::recv(answer.connection.get(), buffer, sizeof buffer, MSG_DONTWAIT);
        // An instance that ends, or crashes, ends the stream.
        if (got == 0 || (got < 0 && errno == ECONNRESET))
            return {};
        if (got < 0 && errno != EAGAIN && errno != EINTR)
            return posixError(errno, QStringLiteral("Cannot read the stream"));
        if (got < 0)
            continue;
        if (auto written = writeAll(output, QByteArrayView(buffer, got)); !written)
            return written;
    }
}

Result<pid_t> commandServerPid(const QString &socketPath)
{
    auto fd = connectTo(socketPath, QDeadlineTimer(std::chrono::seconds(2)));
    if (!fd)
        return fd.error();
    return peerPid(*fd);
}

} // namespace pvx::platform
