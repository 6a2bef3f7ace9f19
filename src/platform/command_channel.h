#pragma once

#include "platform/result.h"

#include <QString>

#include <functional>

namespace pvx::platform {

/// The local channel through which other programs (and a second instance)
/// send commands to the running program: a topic and a command text.
class CommandChannel {
public:
    /// Handles one command for `topic`; returns false when nothing took it.
    using Handler = std::function<bool(const QString &topic, const QString &command)>;

    virtual ~CommandChannel() = default;
    /// Starts listening; fails when another instance already listens.
    virtual Result<void> listen(Handler handler) = 0;
    /// Sends one command to a running instance.
    virtual Result<void> send(const QString &topic, const QString &command) = 0;
    /// True when another instance answers on the channel.
    virtual bool otherInstanceRunning() const = 0;
};

} // namespace pvx::platform
