#pragma once

#include "platform/command_channel.h"
#include "platform/linux/unique_fd.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <functional>

namespace pvx::platform {

/// One client of the command channel. It reads requests, one per line
/// ("topic TAB command", LF or CR LF, UTF-8), and answers each with its data
/// lines (each after a TAB) and a final "ACK" or "NAK" line.
///
/// Whatever the client does, the program is never held: replies are written
/// without blocking; while the client leaves too much unread, its further
/// requests wait; a line longer than kMaxLine gets NAK and the connection
/// ends; a request or reply that makes no progress for `stallTimeout` ends
/// the connection unanswered. When the client shuts its side, the requests
/// it completed are still answered.
///
/// Event-loop thread only. The handler may run a nested event loop; this
/// connection stays quiet meanwhile. Once finished it calls `finished` and
/// deletes itself later from the event loop.
class CommandConnection final : public QObject {
public:
    static constexpr qsizetype kMaxLine = 4096;

    CommandConnection(UniqueFd fd, const CommandChannel::Handler &handler, std::chrono::milliseconds stallTimeout,
                      std::function<void()> finished, QObject *parent);

private:
    void readWaiting();
    /// Answers the complete lines while the reply has room; true when any
    /// was answered.
    bool answerLines();
    QByteArray answer(const QByteArray &line);
    /// Writes what the socket takes; true when anything went out. Ends the
    /// connection when the client is gone.
    bool writeWaiting();
    /// Answers, writes, closes or waits, whichever is due now.
    void pump(bool progress);
    bool roomForInput() const;
    void finish();

    UniqueFd m_fd;
    const CommandChannel::Handler &m_handler;
    std::function<void()> m_finished;
    QSocketNotifier m_readable;
    QSocketNotifier m_writable;
    QTimer m_stall;
    QByteArray m_input;
    QByteArray m_output;
    bool m_peerDone = false;
    bool m_closeWhenWritten = false;
    bool m_over = false;
};

} // namespace pvx::platform
