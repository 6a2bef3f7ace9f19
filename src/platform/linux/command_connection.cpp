#include "platform/linux/command_connection.h"

#include <QStringDecoder>

#include <cerrno>

#include <sys/socket.h>

namespace pvx::platform {

namespace {

constexpr std::size_t kReadChunk = 4096;
// Replies the client has not read yet; past this its further requests wait.
constexpr qsizetype kMaxUnread = 16 * 1024;

QByteArray replyLine(const QString &text)
{
    // A data line must stay one line.
    QString flat = text;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return '\t' + flat.toUtf8() + '\n';
}

QByteArray replyBytes(const CommandReply &reply)
{
    QByteArray bytes;
    for (const QString &data : reply.data)
        bytes += replyLine(data);
    return bytes + (reply.accepted ? "ACK\n" : "NAK\n");
}

} // namespace

CommandConnection::CommandConnection(UniqueFd fd, const CommandChannel::Handler &handler,
                                     CommandTimeouts timeouts, std::function<void()> finished, QObject *parent)
    : QObject(parent),
      m_fd(std::move(fd)),
      m_handler(handler),
      m_timeouts(timeouts),
      m_finished(std::move(finished)),
      m_readable(m_fd.get(), QSocketNotifier::Read),
      m_writable(m_fd.get(), QSocketNotifier::Write)
{
    m_writable.setEnabled(false);
    m_timeout.setSingleShot(true);
    connect(&m_readable, &QSocketNotifier::activated, this, [this] { readWaiting(); });
    connect(&m_writable, &QSocketNotifier::activated, this, [this] { pump(false); });
    connect(&m_timeout, &QTimer::timeout, this, [this] { finish(); });
    m_timeout.start(m_timeouts.idle);
}

bool CommandConnection::roomForInput() const
{
    // A stream reads on only to see the client go.
    if (m_streaming)
        return true;
    return !m_peerDone && !m_closeWhenWritten && m_output.size() < kMaxUnread && m_input.size() <= kMaxLine;
}

void CommandConnection::readWaiting()
{
    bool progress = false;
    while (roomForInput()) {
        char buffer[kReadChunk];
        const ssize_t got = ::recv(m_fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0 && !m_streaming) {
            m_input.append(buffer, got);
            progress |= answerLines();
        } else if (got == 0 && m_streaming) {
            finish();
            return;
        } else if (got == 0) {
            m_peerDone = true;
        } else if (got > 0) {
            // Thrown away, a chunk at a time, so that a client that floods
            // its stream with input takes its turn like any other.
            break;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            break;
        } else if (errno != EINTR) {
            finish();
            return;
        }
    }
    pump(progress);
}

bool CommandConnection::answerLines()
{
    bool answered = false;
    while (!m_streaming && !m_closeWhenWritten && m_output.size() < kMaxUnread) {
        const qsizetype end = m_input.indexOf('\n');
        if (end < 0 ? m_input.size() > kMaxLine : end > kMaxLine) {
            // Where the next request would begin is anybody's guess.
            m_output += "NAK\n";
            m_input.clear();
            m_closeWhenWritten = true;
            return true;
        }
        if (end < 0)
            break;
        const QByteArray line = m_input.left(end);
        m_input.remove(0, end + 1);
        const CommandReply reply = answer(line);
        m_output += replyBytes(reply);
        answered = true;
        if (reply.accepted && reply.stream) {
            // Whatever else the client sent was sent to a stream.
            m_input.clear();
            m_streaming = true;
            m_feed = reply.stream(*this);
        }
    }
    return answered;
}

CommandReply CommandConnection::answer(const QByteArray &line)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(line);
    if (text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    if (decoder.hasError() || tab < 0)
        return {};

    // The handler may run a nested event loop (a message box): nothing of
    // this connection may run inside it.
    m_readable.setEnabled(false);
    m_writable.setEnabled(false);
    m_timeout.stop();
    return m_handler(text.left(tab), text.mid(tab + 1));
}

bool CommandConnection::writeWaiting()
{
    bool wrote = false;
    while (!m_output.isEmpty()) {
        const ssize_t sent = ::send(m_fd.get(), m_output.constData(), static_cast<std::size_t>(m_output.size()),
                                    MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            m_output.remove(0, sent);
            wrote = true;
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else if (sent < 0 && errno != EINTR) {
            finish();
            break;
        }
    }
    return wrote;
}

void CommandConnection::pump(bool progress)
{
    // Requests left waiting for room in the reply come first. They may all
    // have been read already, so no arrival would bring them back: answer
    // and write in turn until neither gets further.
    for (bool moved = true; moved && !m_over;) {
        moved = answerLines();
        moved |= writeWaiting();
        progress |= moved;
    }
    if (m_over)
        return;
    if (m_peerDone && !m_input.contains('\n')) {
        // The client has said all it will; a request it left unfinished
        // will never end.
        m_input.clear();
        m_closeWhenWritten = true;
    }
    if (m_closeWhenWritten && m_output.isEmpty()) {
        finish();
        return;
    }
    m_readable.setEnabled(roomForInput());
    m_writable.setEnabled(!m_output.isEmpty());
    if (m_streaming) {
        // A stream may be quiet for as long as it likes, and what it leaves
        // unread is bounded by send().
        m_timeout.stop();
        return;
    }
    // A client may keep a connection open between requests for a while, but
    // one that stops half-way through a request, or does not read its reply,
    // is dropped sooner: it holds memory. Idle ones go in the end too, so
    // that they cannot keep others off the channel for good.
    const bool underWay = !m_input.isEmpty() || !m_output.isEmpty();
    const std::chrono::milliseconds allowed = underWay ? m_timeouts.stall : m_timeouts.idle;
    if (progress || !m_timeout.isActive() || m_timeout.intervalAsDuration() != allowed)
        m_timeout.start(allowed);
}

void CommandConnection::finish()
{
    if (m_over)
        return;
    m_over = true;
    m_streaming = false;
    m_feed.reset();
    m_readable.setEnabled(false);
    m_writable.setEnabled(false);
    m_timeout.stop();
    m_fd.reset();
    // The deletion waits for the event loop, and a burst of clients that
    // leave may end hundreds of connections before it comes.
    m_input = QByteArray();
    m_output = QByteArray();
    m_finished();
    deleteLater();
}

bool CommandConnection::send(const QByteArray &bytes)
{
    if (!m_streaming || m_output.size() >= kMaxUnsent)
        return false;
    m_output += bytes;
    m_writable.setEnabled(true);
    return true;
}

void CommandConnection::end(const QByteArray &last)
{
    if (!m_streaming)
        return;
    m_streaming = false;
    m_output += last;
    m_closeWhenWritten = true;
    m_readable.setEnabled(false);
    m_writable.setEnabled(true);
    // A client that reads nothing more would otherwise hold the rest for good.
    m_timeout.start(m_timeouts.stall);
}

} // namespace pvx::platform
