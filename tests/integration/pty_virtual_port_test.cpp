// A virtual port with another program on its far side: bytes both ways,
// the open and close events, and what happens while nobody has it open.
#include "platform/linux/inotify_watcher.h"
#include "platform/linux/pty_virtual_port.h"

#include "integration/forked_peer.h"
#include "support/wait_until.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace pvx::platform {
namespace {

using namespace std::chrono_literals;
using test::ForkedPeer;
namespace peer = test::peer;

// Bytes a terminal line would swallow or change if it were not raw.
QByteArray lineControlBytes()
{
    QByteArray bytes = QByteArray::fromHex("000a0d11130d0a1a03041c7fff");
    for (int value = 0; value < 256; ++value)
        bytes.append(static_cast<char>(value));
    return bytes;
}

class PtyVirtualPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_port.setEvents({
            .dataReceived = [this] { ++m_dataEvents; },
            .openedChanged = [this](bool opened) { m_openedEvents.push_back(opened); },
            .writable = {},
        });
        const auto created = m_port.create(QStringLiteral("COM3"));
        ASSERT_TRUE(created.ok()) << created.error().detail.toStdString();
        m_path = QFile::encodeName(m_port.devicePath());
    }

    // Collects what arrives on every data event.
    void readOnEachEvent()
    {
        m_port.setEvents({
            .dataReceived = [this] { ++m_dataEvents; m_received += m_port.read(m_port.bytesAvailable()); },
            .openedChanged = [this](bool opened) { m_openedEvents.push_back(opened); },
            .writable = {},
        });
    }

    bool waitForOpenedEvents(std::size_t count)
    {
        return waitUntil([&] { return m_openedEvents.size() >= count; });
    }

    QTemporaryDir m_root;
    InotifyWatcher m_watcher;
    PtyVirtualPort m_port{m_watcher, [this] { return m_root.path(); }};
    QByteArray m_path;
    int m_dataEvents = 0;
    std::vector<bool> m_openedEvents;
    QByteArray m_received;
};

TEST_F(PtyVirtualPortTest, CarriesBytesBothWaysOverManyOpenCloseCycles)
{
    readOnEachEvent();
    const QByteArray toPort = lineControlBytes();
    const QByteArray toProgram = lineControlBytes() + QByteArrayLiteral("\r\n\x11\x13");
    QByteArray answer(toProgram.size(), '\0');
    const char *path = m_path.constData();
    char *answerBuffer = answer.data();

    constexpr int kCycles = 20;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE(cycle);
        m_received.clear();
        ForkedPeer program([&] {
            const int fd = peer::openPort(path);
            if (fd < 0)
                return 1;
            if (!peer::writeAll(fd, toPort.constData(), static_cast<std::size_t>(toPort.size())))
                return 2;
            if (!peer::readExactly(fd, answerBuffer, static_cast<std::size_t>(toProgram.size())))
                return 3;
            ::close(fd);
            return peer::sameBytes(answerBuffer, toProgram.constData(), static_cast<std::size_t>(toProgram.size())) ? 0 : 4;
        });
        ASSERT_TRUE(program.started());

        ASSERT_TRUE(waitForOpenedEvents(2 * cycle + 1));
        EXPECT_TRUE(m_openedEvents.back());
        EXPECT_TRUE(m_port.isOpenedByApplication());
        ASSERT_TRUE(waitUntil([&] { return m_received.size() >= toPort.size(); }));
        EXPECT_EQ(m_received, toPort);

        EXPECT_EQ(m_port.write(toProgram), toProgram.size());
        ASSERT_TRUE(waitForOpenedEvents(2 * cycle + 2));
        EXPECT_FALSE(m_openedEvents.back());
        EXPECT_FALSE(m_port.isOpenedByApplication());
        EXPECT_EQ(program.wait(), 0);
    }
    ::runEventsFor(200ms);
    ASSERT_EQ(m_openedEvents.size(), 2u * kCycles);
    for (std::size_t i = 0; i < m_openedEvents.size(); ++i)
        EXPECT_EQ(m_openedEvents[i], i % 2 == 0) << i;
}

TEST_F(PtyVirtualPortTest, BytesWrittenWhileClosedWaitForTheNextOpener)
{
    const QByteArray early = lineControlBytes();
    ASSERT_EQ(m_port.write(early), early.size());

    // Fill the kernel's queue: writing never blocks and ends in 0.
    QByteArray chunk(1000, '\0');
    for (int i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<char>(i % 251);
    QByteArray queued = early;
    qint64 taken = 0;
    for (int round = 0; round < 1000 && (taken = m_port.write(chunk)) > 0; ++round)
        queued += chunk.left(taken);
    ASSERT_EQ(taken, 0) << "the queue never filled";
    EXPECT_EQ(m_port.write(chunk), 0);

    QByteArray got(queued.size(), '\0');
    const char *path = m_path.constData();
    char *into = got.data();
    ForkedPeer program([&] {
        const int fd = peer::openPort(path);
        if (fd < 0 || !peer::readExactly(fd, into, static_cast<std::size_t>(queued.size())))
            return 1;
        return peer::sameBytes(into, queued.constData(), static_cast<std::size_t>(queued.size())) ? 0 : 2;
    });
    EXPECT_EQ(program.wait(), 0);
    ASSERT_TRUE(waitForOpenedEvents(2));
    EXPECT_EQ(m_openedEvents, (std::vector<bool>{true, false}));
}

TEST_F(PtyVirtualPortTest, DataEventWaitsForAReadWhenBytesAreLeft)
{
    const QByteArray first(100, 'a');
    const QByteArray second(50, 'b');
    const char *path = m_path.constData();
    ForkedPeer program([&] {
        const int fd = peer::openPort(path);
        char go = 0;
        if (fd < 0 || !peer::writeAll(fd, first.constData(), 100) || !peer::readExactly(fd, &go, 1)
            || !peer::writeAll(fd, second.constData(), 50) || !peer::readExactly(fd, &go, 1))
            return 1;
        return 0;
    });

    ASSERT_TRUE(waitUntil([&] { return m_dataEvents == 1; }));
    EXPECT_EQ(m_port.write(QByteArrayLiteral("1")), 1);
    ASSERT_TRUE(waitUntil([&] { return m_port.bytesAvailable() == 150; }));
    ::runEventsFor(300ms);
    EXPECT_EQ(m_dataEvents, 1);

    EXPECT_EQ(m_port.read(10), QByteArray(10, 'a'));
    ASSERT_TRUE(waitUntil([&] { return m_dataEvents == 2; }));
    EXPECT_EQ(m_port.read(1000), QByteArray(90, 'a') + second);
    m_port.discardInput();
    EXPECT_EQ(m_port.bytesAvailable(), 0);

    EXPECT_EQ(m_port.write(QByteArrayLiteral("2")), 1);
    EXPECT_EQ(program.wait(), 0);
    ASSERT_TRUE(waitForOpenedEvents(2));
    EXPECT_EQ(m_openedEvents, (std::vector<bool>{true, false}));
}

TEST_F(PtyVirtualPortTest, BytesWrittenJustBeforeACloseAreKept)
{
    readOnEachEvent();
    const QByteArray last = lineControlBytes();
    const char *path = m_path.constData();
    for (int cycle = 0; cycle < 5; ++cycle) {
        SCOPED_TRACE(cycle);
        m_received.clear();
        ForkedPeer program([&] {
            const int fd = peer::openPort(path);
            return fd >= 0 && peer::writeAll(fd, last.constData(), static_cast<std::size_t>(last.size())) ? 0 : 1;
        });
        EXPECT_EQ(program.wait(), 0);
        ASSERT_TRUE(waitForOpenedEvents(2 * static_cast<std::size_t>(cycle) + 2));
        ASSERT_TRUE(waitUntil([&] { return m_received.size() >= last.size(); }));
        EXPECT_EQ(m_received, last);
    }
}

// Bytes for a program that has just opened the port must not be thrown
// away because the notice of the open is still queued behind them.
TEST_F(PtyVirtualPortTest, AnOpenCountsBeforeItsNoticeIsHandled)
{
    EXPECT_FALSE(m_port.isOpenedByApplication());
    const int fd = ::open(m_path.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(m_port.isOpenedByApplication());
    ::close(fd);
    EXPECT_FALSE(m_port.isOpenedByApplication());
}

TEST_F(PtyVirtualPortTest, RemoveEndsTheOtherProgramsSessionWithoutEvents)
{
    const char *path = m_path.constData();
    ForkedPeer program([&] {
        const int fd = peer::openPort(path);
        char byte = 0;
        // The hang-up ends the wait with nothing to read.
        return fd >= 0 && !peer::readExactly(fd, &byte, 1) ? 0 : 1;
    });
    ASSERT_TRUE(waitForOpenedEvents(1));
    ASSERT_TRUE(m_port.remove().ok());
    EXPECT_FALSE(m_port.isOpenedByApplication());
    EXPECT_EQ(program.wait(), 0);
    ::runEventsFor(200ms);
    EXPECT_EQ(m_openedEvents, std::vector<bool>{true});
    EXPECT_EQ(m_dataEvents, 0);
}

} // namespace
} // namespace pvx::platform
