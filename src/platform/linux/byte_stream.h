#pragma once

#include <QByteArray>
#include <QObject>

#include <functional>

namespace pvx::platform {

/// A connected stream as a socket reads and writes it: plain TCP on its
/// descriptor, or TLS over such a connection. Events come from the event
/// loop, never from inside a call; a handler may close the stream.
class ByteStream : public QObject {
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

    virtual int descriptor() const = 0;
    /// Closes the connection now, dropping what is queued; no event follows.
    /// The object itself may go later (it may be the one raising an event).
    virtual void close() = 0;

    /// Bytes that can be read now.
    virtual qint64 bytesAvailable() const = 0;
    /// Up to `maxBytes` of them into `buffer`; returns how many came, and
    /// re-arms the readable event.
    virtual qint64 read(char *buffer, qint64 maxBytes) = 0;
    /// Re-arms the readable event without reading (it found nothing).
    virtual void resumeReading() = 0;
    /// No readable event from now on: the end has been seen, and what is
    /// left is read when the owner wants it.
    virtual void stopReading() = 0;
    /// Looks past the last byte read: an orderly end, a failure (its errno in
    /// `error`), or still open.
    virtual Ending ending(int &error) const = 0;

    /// Sends `bytes`, queueing what the kernel does not take now. After a
    /// failure (raised as sendFailed) nothing more is sent.
    virtual void send(const QByteArray &bytes) = 0;
    /// Bytes queued and not yet handed to the kernel.
    virtual qint64 queued() const = 0;
    /// While held, send() only queues; released, the queue goes out from the
    /// event loop, raising `sent` as ever.
    virtual void holdSending(bool held) = 0;

    /// True when the peer reset the connection rather than closing it.
    virtual bool peerReset() const = 0;
};

} // namespace pvx::platform
