#pragma once

#include "platform/linux/byte_stream.h"
#include "platform/linux/unique_fd.h"

#include <QSocketNotifier>

#include <deque>

namespace pvx::platform {

/// A connected TCP stream read and written on its descriptor, without a
/// buffer of its own on the way in: what arrives stays with the kernel until
/// the owner reads it, so a slow reader holds the peer back through TCP's
/// window and costs no memory here. What the kernel does not take at once is
/// queued as the owner's own byte arrays, shared, so that a hundred
/// connections sending the same bytes hold one copy of them.
class TcpConnection final : public ByteStream {
public:
    /// Takes a connected, non-blocking socket.
    TcpConnection(UniqueFd socket, Events events);
    TcpConnection(const TcpConnection &) = delete;
    TcpConnection &operator=(const TcpConnection &) = delete;

    int descriptor() const override { return m_socket.get(); }
    void close() override;

    /// Bytes the kernel holds for reading. Asked once per readable event:
    /// after that the count follows the reads, so that owners that look
    /// often cost no system call each time.
    qint64 bytesAvailable() const override;
    qint64 read(char *buffer, qint64 maxBytes) override;
    void resumeReading() override;
    void stopReading() override;
    Ending ending(int &error) const override;

    void send(const QByteArray &bytes) override;
    qint64 queued() const override { return m_queued; }
    void holdSending(bool held) override;

    /// Reads (and clears) the socket's pending error.
    bool peerReset() const override;

private:
    void onReadable();
    void onWritable();
    struct Flushed {
        qint64 sent = 0;
        /// errno of a failed send, else 0.
        int error = 0;
    };
    /// Sends from the queue until it is empty or the kernel is full.
    Flushed flush();

    UniqueFd m_socket;
    Events m_events;
    QSocketNotifier m_readNotifier;
    QSocketNotifier m_writeNotifier;
    std::deque<QByteArray> m_queue;
    /// Bytes of the first queued array already sent.
    qsizetype m_sentOfFirst = 0;
    qint64 m_queued = 0;
    bool m_failed = false;
    bool m_held = false;
    bool m_reading = true;
    /// A readable event went out and nothing was read since.
    bool m_raised = false;
    /// What the kernel holds, when m_counted.
    mutable qint64 m_available = 0;
    mutable bool m_counted = false;
};

} // namespace pvx::platform
