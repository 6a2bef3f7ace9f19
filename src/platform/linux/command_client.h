#pragma once

#include "platform/command_channel.h"
#include "platform/linux/unique_fd.h"
#include "platform/result.h"

#include <QString>

#include <chrono>

#include <sys/types.h>

namespace pvx::platform {

/// What a running instance answered, and which process it is.
struct CommandAnswer {
    CommandReply reply;
    pid_t serverPid = 0;
};

/// Sends one request (`topic`, `command`) to the command socket at
/// `socketPath` and waits for its answer, for at most `timeout` in all.
/// Blocks the calling thread: meant for a short-lived client process. Fails
/// with ErrorCode::NotFound or ConnectionRefused when nothing listens there,
/// TimedOut when the answer does not come in time, Busy with the instance's
/// own words when it turns the connection away, InvalidArgument when the
/// topic holds a tab or a line break, or the command a line break.
Result<CommandAnswer> sendCommand(const QString &socketPath, const QString &topic, const QString &command,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(5));

/// An answer that goes on after its ACK: the connection it goes on over,
/// and what of it came along with the ACK.
struct CommandStreamAnswer {
    CommandReply reply;
    UniqueFd connection;
    QByteArray begun;
};

/// Sends a request whose answer goes on after its ACK, and waits for the
/// ACK or NAK as sendCommand() does; after a NAK there is no connection.
Result<CommandStreamAnswer> openCommandStream(const QString &socketPath, const QString &topic,
                                              const QString &command,
                                              std::chrono::milliseconds timeout = std::chrono::seconds(5));

/// Writes what the stream of `answer` brings to the file descriptor `output`
/// as it comes, until the instance closes the connection or goes. Blocks.
/// Fails, saying why, when `output` takes no more.
Result<void> copyCommandStream(CommandStreamAnswer &answer, int output);

/// The process that listens on the command socket at `socketPath`, without
/// sending it anything; fails as sendCommand() does when nothing listens.
Result<pid_t> commandServerPid(const QString &socketPath);

} // namespace pvx::platform
