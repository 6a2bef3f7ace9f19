#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace pvx::platform {

/// The open end of an answer that goes on after its ACK, towards the client
/// that asked for it. Neither call blocks, writes or ends the connection
/// there and then: the bytes are queued and sent from the event loop.
class CommandStream {
public:
    /// What a client may leave unread before send() refuses more.
    static constexpr qsizetype kMaxUnsent = 1024 * 1024;

    /// Queues `bytes` for the client; false, queuing nothing, once kMaxUnsent
    /// or more wait unsent or the stream has ended.
    virtual bool send(const QByteArray &bytes) = 0;
    /// Queues `last` whatever waits unsent, then ends the stream: the
    /// connection closes once the client has read it. Once only; later calls
    /// do nothing.
    virtual void end(const QByteArray &last) = 0;

protected:
    ~CommandStream() = default;
};

/// What feeds a stream. It is destroyed when the stream is over: the client
/// closed its side or went, the end was sent, or the channel goes; from then
/// on the stream it was given is gone.
class CommandStreamFeed {
public:
    virtual ~CommandStreamFeed() = default;
};

/// What a command got back: accepted or refused, and the data lines that go
/// before that answer (only a status query has any).
struct CommandReply {
    bool accepted = false;
    QStringList data;
    /// Set on an accepted reply whose answer goes on after the ACK: it is
    /// called once, right after the handler, with the stream, and the feed
    /// it returns is kept until the stream is over. The connection then takes
    /// no further request.
    std::function<std::unique_ptr<CommandStreamFeed>(CommandStream &stream)> stream = {};
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
