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
    std::unique_ptr<char[]> m_storage;
    qint32 m_capacity = 0;
    qint32 m_head = 0;
    qint32 m_count = 0;
};

} // namespace pvx::session
