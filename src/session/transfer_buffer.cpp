#include "session/transfer_buffer.h"

#include <algorithm>
#include <cstring>

namespace pvx::session {

void TransferBuffer::allocate(qint32 capacity)
{
    // The storage comes with the first byte: a session that moves nothing
    // costs nothing here.
    m_storage.reset();
    m_capacity = std::max(capacity, 0);
    m_head = 0;
    m_count = 0;
}

qint32 TransferBuffer::roomAtBack(qint32 limit)
{
    const qint32 room = std::min({std::max(limit, 0), freeSpace(), m_capacity - back()});
    // Not zero-filled: untouched pages of a large buffer cost no memory.
    if (room > 0 && !m_storage)
        m_storage = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(m_capacity));
    return room;
}

qint32 TransferBuffer::append(QByteArrayView block)
{
    qsizetype copied = 0;
    return appendFrom(static_cast<qint32>(std::min<qsizetype>(block.size(), m_capacity)), [&](char *at, qint64 room) {
        std::memcpy(at, block.data() + copied, static_cast<std::size_t>(room));
        copied += room;
        return room;
    });
}

QByteArray TransferBuffer::take(qint32 &requested)
{
    if (requested == 0)
        return {};
    if (m_count == 0) {
        requested = 0;
        return {};
    }
    if (requested < 0 || requested > m_count)
        requested = m_count;
    QByteArray delivered(requested, Qt::Uninitialized);
    const qint32 first = std::min(requested, m_capacity - m_head);
    std::memcpy(delivered.data(), m_storage.get() + m_head, static_cast<std::size_t>(first));
    std::memcpy(delivered.data() + first, m_storage.get(), static_cast<std::size_t>(requested - first));
    drop(requested);
    return delivered;
}

QByteArrayView TransferBuffer::front(qint32 maxBytes) const
{
    const qint32 length = std::min({std::max(maxBytes, 0), m_count, m_capacity - m_head});
    return length > 0 ? QByteArrayView(m_storage.get() + m_head, length) : QByteArrayView();
}

void TransferBuffer::drop(qint32 bytes)
{
    const qint32 dropped = std::clamp(bytes, 0, m_count);
    m_count -= dropped;
    m_head = m_count == 0 ? 0 : (m_head + dropped) % m_capacity;
}

void TransferBuffer::clear()
{
    m_head = 0;
    m_count = 0;
}

} // namespace pvx::session
