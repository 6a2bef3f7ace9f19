#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

namespace pvx::session {

/// A bounded byte queue between the two sides of a session. Appends accept
/// what fits; takes deliver the oldest bytes. The storage is a ring, so a
/// take costs what it delivers, however much is queued behind it.
class TransferBuffer {
public:
    /// Replaces the storage by one of `capacity` bytes; the queue is empty.
    void allocate(qint32 capacity);

    qint32 capacity() const { return m_capacity; }
    qint32 count() const { return m_count; }
    qint32 freeSpace() const { return m_capacity - m_count; }

    /// Queues as much of `block` as fits and returns how many bytes it took;
    /// the rest of the block is not queued.
    qint32 append(QByteArrayView block);
    /// Queues up to `maxBytes` bytes that `read(char *at, qint64 room)`
    /// writes straight into the storage, returning how many it wrote (0 or
    /// less: none); returns how many were queued. Spares append()'s copy.
    template <typename Read>
    qint32 appendFrom(qint32 maxBytes, Read &&read)
    {
        qint32 queued = 0;
        // The free room lies in at most two pieces, at the end and at the
        // start of the ring.
        for (int piece = 0; piece < 2; ++piece) {
            const qint32 room = roomAtBack(maxBytes - queued);
            if (room == 0)
                break;
            const qint64 written = read(m_storage.get() + back(), static_cast<qint64>(room));
            if (written <= 0)
                break;
            m_count += static_cast<qint32>(written);
            queued += static_cast<qint32>(written);
            if (written < room)
                break;
        }
        return queued;
    }

    /// Takes up to `requested` bytes from the front (-1: all of them) and
    /// sets `requested` to the number delivered.
    QByteArray take(qint32 &requested);

    /// Up to `maxBytes` bytes from the front that lie in one piece, left
    /// queued and not copied: valid until the buffer next changes. A writer
    /// that takes only part of them drops that part with drop().
    QByteArrayView front(qint32 maxBytes) const;
    /// Removes up to `bytes` bytes from the front.
    void drop(qint32 bytes);

    /// Drops every queued byte.
    void clear();

private:
    /// Where the next byte goes.
    qint32 back() const { return m_capacity > 0 ? (m_head + m_count) % m_capacity : 0; }
    /// Free bytes from back() on that lie in one piece, at most `limit`; the
    /// storage is there once this is not 0.
    qint32 roomAtBack(qint32 limit);

    std::unique_ptr<char[]> m_storage;
    qint32 m_capacity = 0;
    qint32 m_head = 0;
    qint32 m_count = 0;
};

} // namespace pvx::session
