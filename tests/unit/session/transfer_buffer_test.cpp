#include "session/transfer_buffer.h"

#include <QList>
#include <gtest/gtest.h>

#include <algorithm>

using pvx::session::TransferBuffer;

namespace {

TransferBuffer bufferHolding(qint32 capacity, const QByteArray &bytes)
{
    TransferBuffer buffer;
    buffer.allocate(capacity);
    EXPECT_EQ(buffer.append(bytes), bytes.size());
    return buffer;
}

} // namespace

TEST(TransferBuffer, AppendAcceptsWhatFitsAndDropsTheTail)
{
    TransferBuffer buffer = bufferHolding(1024, QByteArray(1020, 'x'));
    EXPECT_EQ(buffer.append("0123456789"), 4);
    EXPECT_EQ(buffer.count(), 1024);
    EXPECT_EQ(buffer.append("more"), 0);
    EXPECT_EQ(buffer.count(), 1024);
    qint32 requested = -1;
    EXPECT_EQ(buffer.take(requested).right(5), QByteArray("x0123"));
    EXPECT_EQ(requested, 1024);
}

TEST(TransferBuffer, AppendOfExactlyTheFreeSpaceFills)
{
    TransferBuffer buffer = bufferHolding(8, "abc");
    EXPECT_EQ(buffer.append("defgh"), 5);
    EXPECT_EQ(buffer.freeSpace(), 0);
}

TEST(TransferBuffer, TakeDeliversTheOldestBytesAndReportsTheCount)
{
    TransferBuffer buffer = bufferHolding(16, "ABCDEFGH");
    qint32 requested = 5;
    EXPECT_EQ(buffer.take(requested), QByteArray("ABCDE"));
    EXPECT_EQ(requested, 5);
    EXPECT_EQ(buffer.count(), 3);

    requested = 100;
    EXPECT_EQ(buffer.take(requested), QByteArray("FGH"));
    EXPECT_EQ(requested, 3);

    requested = 7;
    EXPECT_TRUE(buffer.take(requested).isEmpty());
    EXPECT_EQ(requested, 0);
}

TEST(TransferBuffer, TakeOfZeroChangesNothing)
{
    TransferBuffer buffer = bufferHolding(16, "abc");
    qint32 requested = 0;
    EXPECT_TRUE(buffer.take(requested).isEmpty());
    EXPECT_EQ(requested, 0);
    EXPECT_EQ(buffer.count(), 3);
}

TEST(TransferBuffer, KeepsOrderAcrossTheEndOfItsStorage)
{
    TransferBuffer buffer = bufferHolding(10, "0123456");
    qint32 requested = 5;
    EXPECT_EQ(buffer.take(requested), QByteArray("01234"));
    EXPECT_EQ(buffer.append("789abc"), 6);
    EXPECT_EQ(buffer.append("def"), 2);
    EXPECT_EQ(buffer.freeSpace(), 0);
    requested = -1;
    EXPECT_EQ(buffer.take(requested), QByteArray("56789abcde"));
}

TEST(TransferBuffer, AppendFromFillsTheRoomInPlaceAcrossTheEndOfItsStorage)
{
    // Holding "56" at 5 and 6 of ten: the room is 7..9, then 0..4.
    const struct {
        qint32 maxBytes;
        QByteArray source;
        QList<qint64> asked;
        QByteArray queued;
    } cases[] = {
        {100, "789abcdefXYZ", {3, 5}, "56789abcde"},
        {4, "789abcdef", {3, 1}, "56789a"},
        {100, "78", {3}, "5678"}, // a source that runs dry is not asked again
        {0, "789", {}, "56"},
    };
    for (const auto &c : cases) {
        TransferBuffer buffer = bufferHolding(10, "0123456");
        qint32 requested = 5;
        (void)buffer.take(requested);
        QList<qint64> asked;
        qsizetype given = 0;
        const qint32 queued = buffer.appendFrom(c.maxBytes, [&](char *at, qint64 room) {
            asked.append(room);
            const qint64 n = std::min<qint64>(room, c.source.size() - given);
            std::copy_n(c.source.constData() + given, n, at);
            given += n;
            return n;
        });
        EXPECT_EQ(asked, c.asked) << c.maxBytes << " " << c.source.constData();
        EXPECT_EQ(queued, c.queued.size() - 2);
        requested = -1;
        EXPECT_EQ(buffer.take(requested), c.queued);
    }
}

TEST(TransferBuffer, AllocateDiscardsQueuedBytes)
{
    TransferBuffer buffer = bufferHolding(16, "abc");
    buffer.allocate(32);
    EXPECT_EQ(buffer.count(), 0);
    EXPECT_EQ(buffer.capacity(), 32);
}

TEST(TransferBuffer, AnUnallocatedBufferAcceptsNothing)
{
    TransferBuffer buffer;
    EXPECT_EQ(buffer.append("abc"), 0);
    qint32 requested = -1;
    EXPECT_TRUE(buffer.take(requested).isEmpty());
    EXPECT_EQ(requested, 0);
}

TEST(TransferBuffer, DrainsALargeQueueInSmallTakesByteExact)
{
    constexpr qint32 capacity = 1 << 20;
    TransferBuffer buffer;
    buffer.allocate(capacity);
    QByteArray pattern(capacity, Qt::Uninitialized);
    for (qint32 i = 0; i < capacity; ++i)
        pattern[i] = static_cast<char>(i * 7 + i / 256);
    ASSERT_EQ(buffer.append(pattern), capacity);
    QByteArray drained;
    while (buffer.count() > 0) {
        qint32 requested = 8192;
        drained += buffer.take(requested);
    }
    EXPECT_EQ(drained, pattern);
}

TEST(TransferBuffer, FrontShowsTheFirstPieceUntilDropped)
{
    TransferBuffer buffer = bufferHolding(8, "012345");
    qint32 requested = 4;
    (void)buffer.take(requested);
    EXPECT_EQ(buffer.append("6789ab"), 6);
    // The queue now wraps around the end of its storage: the front stops there.
    EXPECT_EQ(buffer.front(3), QByteArrayView("456"));
    EXPECT_EQ(buffer.front(5), QByteArrayView("4567"));
    EXPECT_EQ(buffer.count(), 8);
    buffer.drop(3);
    EXPECT_EQ(buffer.front(100), QByteArrayView("7"));
    buffer.drop(1);
    EXPECT_EQ(buffer.front(100), QByteArrayView("89ab"));
    buffer.drop(100);
    EXPECT_EQ(buffer.count(), 0);
    EXPECT_TRUE(buffer.front(4).isEmpty());
    EXPECT_EQ(buffer.append("xy"), 2);
    requested = -1;
    EXPECT_EQ(buffer.take(requested), QByteArray("xy"));
}
