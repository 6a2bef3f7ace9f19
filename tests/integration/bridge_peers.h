#pragma once

#include <QCryptographicHash>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
#include <functional>
#include <memory>
#include <random>

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <linux/sockios.h>

namespace pvx::testing {

/// True once the other end has every byte `socket` wrote: nothing waits in
/// Qt or in the kernel unacknowledged.
inline bool allAcknowledged(QTcpSocket &socket)
{
    int unacknowledged = -1;
    return socket.bytesToWrite() == 0
           && ::ioctl(static_cast<int>(socket.socketDescriptor()), SIOCOUTQ, &unacknowledged) == 0
           && unacknowledged == 0;
}

/// Ends `socket`'s connection with a reset instead of an orderly close.
inline void resetConnection(QTcpSocket &socket)
{
    const linger reset{1, 0};
    ::setsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    socket.abort();
}

/// `total` pseudo-random bytes from `seed`, handed out in order, with the
/// checksum of everything handed out.
class ByteSource {
public:
    ByteSource(qint64 total, unsigned seed) : m_remaining(total), m_random(seed) {}

    /// The bytes to send next; empty once everything is sent.
    const QByteArray &pending()
    {
        if (m_pending.isEmpty() && m_remaining > 0) {
            const qint64 size = std::min<qint64>(m_remaining, kChunk);
            m_pending.resize(size);
            for (qint64 i = 0; i < size; ++i)
                m_pending[i] = static_cast<char>(m_random() & 0xff);
            m_hash.addData(m_pending);
            m_remaining -= size;
        }
        return m_pending;
    }
    /// The first `bytes` of pending() were sent.
    void sent(qint64 bytes) { m_pending.remove(0, bytes); }
    bool done() const { return m_remaining == 0 && m_pending.isEmpty(); }
    QByteArray checksum() const { return m_hash.result(); }

private:
    static constexpr qint64 kChunk = 64 * 1024;
    qint64 m_remaining;
    std::minstd_rand m_random;
    QByteArray m_pending;
    QCryptographicHash m_hash{QCryptographicHash::Md5};
};

/// Counts and checksums what arrives.
class ByteSink {
public:
    void take(const QByteArray &bytes)
    {
        m_hash.addData(bytes);
        m_count += bytes.size();
    }
    qint64 count() const { return m_count; }
    QByteArray checksum() const { return m_hash.result(); }

private:
    QCryptographicHash m_hash{QCryptographicHash::Md5};
    qint64 m_count = 0;
};

/// How fast a peer reads: everything as it comes, or at most `bytesPerTick`
/// every millisecond (a slow reader, so that its writer must wait).
struct ReadPace {
    qint64 bytesPerTick = 0;
};

/// The far end of a file descriptor (a pty master standing in for a serial
/// device, or a virtual port opened as another program would): sends a
/// ByteSource and feeds a ByteSink, driven by the event loop.
class FdPeer {
public:
    /// `fd` is non-blocking; the peer does not close it.
    explicit FdPeer(int fd) : m_fd(fd), m_readable(fd, QSocketNotifier::Read), m_writable(fd, QSocketNotifier::Write)
    {
        m_readable.setEnabled(false);
        m_writable.setEnabled(false);
        QObject::connect(&m_writable, &QSocketNotifier::activated, [this] { writeSome(); });
        QObject::connect(&m_readable, &QSocketNotifier::activated, [this] { readSome(kReadSize); });
        QObject::connect(&m_pace, &QTimer::timeout, [this] { readSome(m_bytesPerTick); });
    }

    void send(ByteSource &source)
    {
        m_source = &source;
        m_writable.setEnabled(true);
    }
    /// Hands everything read to `consumer`.
    void receive(std::function<void(const QByteArray &)> consumer, ReadPace pace = {})
    {
        m_consumer = std::move(consumer);
        m_bytesPerTick = pace.bytesPerTick;
        if (m_bytesPerTick > 0)
            m_pace.start(1);
        else
            m_readable.setEnabled(true);
    }
    void receive(ByteSink &sink, ReadPace pace = {})
    {
        receive([&sink](const QByteArray &bytes) { sink.take(bytes); }, pace);
    }
    void stop()
    {
        m_readable.setEnabled(false);
        m_writable.setEnabled(false);
        m_pace.stop();
    }

private:
    static constexpr qint64 kReadSize = 64 * 1024;

    void writeSome()
    {
        const QByteArray &bytes = m_source->pending();
        if (bytes.isEmpty()) {
            m_writable.setEnabled(false);
            return;
        }
        const ssize_t written = ::write(m_fd, bytes.constData(), static_cast<size_t>(bytes.size()));
        if (written > 0)
            m_source->sent(written);
    }
    void readSome(qint64 limit)
    {
        QByteArray buffer(limit, Qt::Uninitialized);
        qint64 filled = 0;
        while (filled < limit) {
            const ssize_t got = ::read(m_fd, buffer.data() + filled, static_cast<size_t>(limit - filled));
            if (got <= 0) {
                // The other side is gone (EIO): nothing more will come.
                if (got == 0 || errno != EAGAIN)
                    m_readable.setEnabled(false);
                break;
            }
            filled += got;
        }
        if (filled > 0)
            m_consumer(buffer.left(filled));
    }

    int m_fd;
    QSocketNotifier m_readable;
    QSocketNotifier m_writable;
    QTimer m_pace;
    qint64 m_bytesPerTick = 0;
    ByteSource *m_source = nullptr;
    std::function<void(const QByteArray &)> m_consumer;
};

/// A TCP peer of the session: sends a ByteSource and feeds a ByteSink.
class TcpPeer {
public:
    /// Takes `socket` over (a connection a test server accepted, or a new one).
    explicit TcpPeer(QTcpSocket *socket = new QTcpSocket) : m_socket(socket)
    {
        QObject::connect(m_socket.get(), &QTcpSocket::bytesWritten, [this] { writeSome(); });
        QObject::connect(m_socket.get(), &QTcpSocket::connected, [this] { writeSome(); });
        QObject::connect(m_socket.get(), &QTcpSocket::readyRead, [this] {
            if (m_sink && m_bytesPerTick == 0)
                m_sink->take(m_socket->readAll());
        });
        QObject::connect(&m_pace, &QTimer::timeout, [this] { m_sink->take(m_socket->read(m_bytesPerTick)); });
    }

    QTcpSocket &socket() { return *m_socket; }
    void connectTo(quint16 port) { m_socket->connectToHost(QHostAddress::LocalHost, port); }
    bool connected() const { return m_socket->state() == QAbstractSocket::ConnectedState; }

    void send(ByteSource &source)
    {
        m_source = &source;
        writeSome();
    }
    void receive(ByteSink &sink, ReadPace pace = {})
    {
        m_sink = &sink;
        m_bytesPerTick = pace.bytesPerTick;
        if (m_bytesPerTick > 0) {
            // Read slowly and hold little, so that TCP makes the sender wait.
            m_socket->setReadBufferSize(m_bytesPerTick * 4);
            m_pace.start(1);
        } else {
            sink.take(m_socket->readAll());
        }
    }
    /// Stops reading altogether: the kernel fills up and the sender stalls.
    void stopReading()
    {
        m_pace.stop();
        m_sink = nullptr;
        m_socket->setReadBufferSize(1);
    }

private:
    static constexpr qint64 kMaxUnsent = 256 * 1024;

    void writeSome()
    {
        if (!m_source || !connected())
            return;
        while (m_socket->bytesToWrite() < kMaxUnsent) {
            const QByteArray &bytes = m_source->pending();
            if (bytes.isEmpty())
                return;
            m_socket->write(bytes);
            m_source->sent(bytes.size());
        }
    }

    std::unique_ptr<QTcpSocket> m_socket;
    QTimer m_pace;
    qint64 m_bytesPerTick = 0;
    ByteSource *m_source = nullptr;
    ByteSink *m_sink = nullptr;
};

} // namespace pvx::testing
