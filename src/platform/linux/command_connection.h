#pragma once

#include "platform/command_channel.h"
#include "platform/linux/unique_fd.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

namespace pvx::platform {

/// How long a client of the command channel may hold a connection.
struct CommandTimeouts {
    /// To finish a request it has begun, or to read its reply.
    std::chrono::milliseconds stall = std::chrono::seconds(5);
    /// To begin its next request while it owes nothing and is owed nothing.
    std::chrono::milliseconds idle = std::chrono::seconds(60);
};

/// One client of the command channel. It reads requests, one per line
/// ("topic TAB command", LF or CR LF, UTF-8), and answers each with its data
/// lines (each after a TAB) and a final "ACK" or "NAK" line.
///
/// Whatever the client does, the program is never held: replies are written
/// without blocking; while the client leaves too much unread, its further
/// requests wait; a line longer than kMaxLine gets NAK and the connection
/// ends; a request or reply that makes no progress for the stall time ends
/// the connection unanswered, and so does a connection left idle for the
/// idle time. When the client shuts its side, the requests it completed are
/// still answered.
///
/// A request whose reply carries a stream turns the connection into that
/// stream after its ACK: what the client sends from then on is ignored, the
/// stall and idle times no longer apply (the feed bounds what waits, see
/// CommandStream), and the client closing or shutting its side ends it.
/// Once the feed ends the stream, the stall time applies to the rest.
///
/// Event-loop thread only. The handler may run a nested event loop; this
/// connection stays quiet meanwhile. Once finished it calls `finished` and
/// deletes itself later from the event loop.
class CommandConnection final : public QObject, private CommandStream {
public:
    static constexpr qsizetype kMaxLine = 4096;

    CommandConnection(UniqueFd fd, const CommandChannel::Handler &handler, CommandTimeouts timeouts,
                      std::function<void()> finished, QObject *parent);

private:
    void readWaiting();
    /// Answers the complete lines while the reply has room; true when any
    /// was answered.
    bool answerLines();
    CommandReply answer(const QByteArray &line);
    /// Writes what the socket takes; true when anything went out. Ends the
    /// connection when the client is gone.
    bool writeWaiting();
    /// Answers, writes, closes or waits, whichever is due now.
    void pump(bool progress);
    bool roomForInput() const;
    void finish();
    bool send(const QByteArray &bytes) override;
    void end(const QByteArray &last) override;

    UniqueFd m_fd;
    const CommandChannel::Handler &m_handler;
    CommandTimeouts m_timeouts;
    std::function<void()> m_finished;
    QSocketNotifier m_readable;
    QSocketNotifier m_writable;
    // Runs the stall time while a request or reply is under way, the idle
    // time otherwise.
    QTimer m_timeout;
    QByteArray m_input;
    QByteArray m_output;
    bool m_peerDone = false;
    bool m_closeWhenWritten = false;
    bool m_over = false;
    // The stream the connection has become, if any; its feed goes first.
    bool m_streaming = false;
    std::unique_ptr<CommandStreamFeed> m_feed;
};

} // namespace pvx::platform
