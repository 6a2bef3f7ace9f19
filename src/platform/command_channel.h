#pragma once

#include "platform/result.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace pvx::platform {

/// What a command got back: accepted or refused, and the data lines that go
/// before that answer (only a status query has any).
struct CommandReply {
    bool accepted = false;
    QStringList data;
};

/// The local channel through which other programs send commands to the
/// running program: each request is a topic and a command text.
class CommandChannel {
public:
    /// Answers one request; runs on the event-loop thread.
    using Handler = std::function<CommandReply(const QString &topic, const QString &command)>;

    virtual ~CommandChannel() = default;
    /// Starts answering requests; fails, saying why, when it cannot listen.
    virtual Result<void> listen(Handler handler) = 0;
};

} // namespace pvx::platform
