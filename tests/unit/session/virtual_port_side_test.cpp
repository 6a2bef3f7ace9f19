#include "session/virtual_port_side.h"

#include "side_fixture.h"

#include <gtest/gtest.h>

#include <optional>

using pvx::platform::ErrorCode;
using pvx::platform::makeError;
using pvx::session::StatusLine;
using pvx::testing::s;

namespace {

struct VirtualPortSideTest : pvx::testing::SideFixture {
    pvx::session::VirtualPortSide side{virtualPort, serialContext()};
};

} // namespace

TEST(VirtualPortSide, OpenAndCloseShowTheirOutcome)
{
    const struct {
        const char *name;
        int connector;
        bool refused;
        bool opens;
        const char *status;
        const char *reason;
        QStringList created;
    } opens[] = {
        {"created", 7, false, true, "Virtual Port COM7 created", "/fake/COM7", {s("COM7")}},
        {"refused", 7, true, false, "Cannot create virtual COM7", "in use", {s("COM7")}},
        {"no connector number", -1, false, false, "Cannot create virtual COM-1", "COM-1: not a connector number", {}},
    };
    for (const auto &c : opens) {
        SCOPED_TRACE(c.name);
        VirtualPortSideTest f;
        if (c.refused)
            f.virtualPort.createError = makeError(ErrorCode::Busy, s("in use"));
        EXPECT_EQ(f.side.open(c.connector), c.opens);
        EXPECT_EQ(f.status(StatusLine::Serial), s(c.status));
        EXPECT_EQ(f.reason(StatusLine::Serial), s(c.reason));
        EXPECT_EQ(f.virtualPort.createdNames, c.created);
        EXPECT_EQ(f.side.isOpen(), c.opens);
    }

    for (const bool refused : {false, true}) {
        VirtualPortSideTest f;
        ASSERT_TRUE(f.side.open(7));
        if (refused)
            f.virtualPort.removeError = makeError(ErrorCode::Busy, s("still held"));
        EXPECT_EQ(f.side.close(), !refused);
        EXPECT_EQ(f.status(StatusLine::Serial), refused ? s("Virtual port not closed") : s("Virtual port closed"));
        EXPECT_EQ(f.reason(StatusLine::Serial), refused ? s("still held") : QString());
        EXPECT_EQ(f.side.isOpen(), refused);
    }
}

TEST(VirtualPortSide, WritesOnlyWhileAProgramHoldsItAndKeepsOrLosesTheRestAsTheWindowSays)
{
    const struct {
        const char *name;
        bool held;
        int bufferWhileClosed;
        std::optional<qint64> programTakes;
        qint32 written;
        qint32 kept;
    } cases[] = {
        {"program takes all", true, 0, {}, 100, 0},
        {"program takes part", true, 0, 40, 40, 60},
        {"program takes nothing", true, 0, 0, 0, 100},
        {"nobody there, buffered", false, 1, {}, 0, 100},
        {"nobody there, lost", false, 0, {}, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        VirtualPortSideTest f;
        ASSERT_TRUE(f.side.open(7));
        f.virtualPort.setOpenedByApplication(c.held);
        f.window.bufferWhileClosed.setValue(c.bufferWhileClosed);
        f.virtualPort.room = c.programTakes;
        const QByteArray bytes = QByteArray("0123456789").repeated(10);
        f.toSerial.append(bytes);
        EXPECT_EQ(f.side.writeFrom(f.toSerial), bytes.size() - c.kept) << "what left the queue";
        EXPECT_EQ(f.virtualPort.written, bytes.left(c.written));
        EXPECT_EQ(f.toSerial.count(), c.kept);
        EXPECT_EQ(f.tap.moved().toSerial, c.written) << "lost bytes are not counted";
        EXPECT_EQ(f.side.awaitsProgram(), !c.held);
    }
}

TEST(VirtualPortSide, HandsOnWhatTheProgramDoesAndReadsAsFarAsThereIsRoom)
{
    VirtualPortSideTest f;
    ASSERT_TRUE(f.side.open(7));
    f.virtualPort.setOpenedByApplication(true);
    f.virtualPort.receive(QByteArray(1500, 'x'));
    f.virtualPort.makeRoom(10);
    f.virtualPort.setOpenedByApplication(false);
    EXPECT_EQ(f.events, (QStringList{s("program opened"), s("arrived"), s("writable"), s("program closed")}));
    EXPECT_EQ(f.side.readInto(f.toNetwork), 1024);
    EXPECT_EQ(f.side.bytesAvailable(), 476);
    EXPECT_EQ(f.side.path(), s("/fake/COM7"));
}
