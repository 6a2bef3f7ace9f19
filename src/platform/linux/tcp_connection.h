#pragma once

#include "platform/linux/unique_fd.h"

#include <QByteArray>
#include <QSocketNotifier>

#include <deque>
#include <functional>

namespace pvx::platform {

/// A connected TCP stream read and written on its descriptor, without a
/// buffer of its own on the way in: what arrives stays with the kernel until
/// the owner reads it, so a slow reader holds the peer back through TCP's
/// window and costs no memory here. What the kernel does not take at once is
/// queued as the owner's own byte arrays, shared, so that a hundred
/// connections sending the same bytes hold one copy of them.
class TcpConnection : public QObject {
public:
    struct Events {
        /// Bytes wait, or the peer's end was reached. Raised once, then
        /// again only after a read.
        std::function<void()> readable;
        /// Queued bytes went to the kernel.
        std::function<void(qint64 bytes)> sent;
        /// A send failed with errno `error`: the connection is broken.
        std::function<void(int error)> sendFailed;
    };

    /// How the peer's side stands once everything it sent has been read.
    enum class Ending {
        Open,
        Closed,
        Failed,
    };

    /// Takes a connected, non-blocking socket.
    TcpConnection(UniqueFd socket, Events events);
    TcpConnection(const TcpConnection &) = delete;
    TcpConnection &operator=(const TcpConnection &) = delete;

    int descriptor() const { return m_socket.get(); }
    /// Closes the connection now, dropping what is queued; no event follows.
    /// The object itself may go later (it may be the one raising an event).
    void close();

    /// Bytes the kernel holds for reading. Asked once per readable event:
    /// after that the count follows the reads, so that owners that look
    /// often cost no system call each time.
    qint64 bytesAvailable() const;
    /// Up to `maxBytes` of them into `buffer`; returns how many came, and
    /// re-arms the readable event.
    qint64 read(char *buffer, qint64 maxBytes);
    /// Re-arms the readable event without reading (it found nothing).
    void resumeReading();
    /// No readable event from now on: the end has been seen, and what is
    /// left is read when the owner wants it.
    void stopReading();
    /// Looks past the last byte read: an orderly end, a failure (its errno in
    /// `error`), or still open.
    Ending ending(int &error) const;

    /// Hands `bytes` to the kernel, queueing what it does not take now. After
    /// a failure (raised as sendFailed) nothing more is sent.
    void send(const QByteArray &bytes);
    /// Bytes queued and not yet handed to the kernel.
    qint64 queued() const { return m_queued; }
    /// While held, send() only queues; released, the queue goes out from the
    /// event loop, raising `sent` as ever.
    void holdSending(bool held);

    /// True when the peer reset the connection rather than closing it; reads
    /// (and clears) the socket's pending error.
    bool peerReset() const;

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
