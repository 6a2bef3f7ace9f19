#include "session/device_side.h"

#include "side_fixture.h"

#include <gtest/gtest.h>

#include <optional>

using pvx::platform::ErrorCode;
using pvx::platform::makeError;
using pvx::session::StatusLine;
using pvx::testing::s;

namespace {

const QString kDevice = s("/dev/fake4");
const QString kOpen = s("COM Status: Open");
const QString kGone = s("COM Status: Error - /dev/fake4: the device hung up or was removed");

struct DeviceSideTest : pvx::testing::SideFixture {
    void deviceGoes()
    {
        serialPort.fail(makeError(ErrorCode::IoError, s("/dev/fake4: the device hung up or was removed")));
    }
    /// Something happens at the device's path; what is there answers the open.
    void pathChanges(std::optional<pvx::platform::Error> whatIsThere = std::nullopt)
    {
        serialPort.openError = std::move(whatIsThere);
        deviceWatch.changed(kDevice);
    }
    QString serialStatus() const { return status(StatusLine::Serial); }
    /// Selects `rate` in the window's baud rate list.
    void baudRate(const char *rate)
    {
        window.baudRate.select(static_cast<int>(window.baudRate.items().indexOf(s(rate))));
    }

    pvx::session::DeviceSide side{{serialPort, deviceWatch, ports}, serialContext()};
};

} // namespace

TEST(DeviceSide, OpenShowsItsOutcomeAndWaitsOnlyForADeviceThatMayTurnUp)
{
    const struct {
        const char *name;
        int connector;
        const char *device;
        std::optional<ErrorCode> refusal;
        bool opensAsReported;
        bool goesOn;
        const char *status;
        const char *reason;
        int watches;
    } cases[] = {
        {"no such connector", -1, "/dev/fake4", {}, true, false, "COM Status: Error - COM-1: no such serial port", "",
         0},
        {"missing", 4, "/dev/fake4", ErrorCode::NotFound, true, true, "COM Status: Waiting for the device /dev/fake4",
         "refused", 1},
        {"busy", 4, "/dev/fake4", ErrorCode::Busy, true, true, "COM Status: Waiting for the device /dev/fake4",
         "refused", 1},
        {"permission", 4, "/dev/fake4", ErrorCode::AccessDenied, true, false, "COM Status: Error - refused", "", 0},
        {"settings", 4, "/dev/fake4", ErrorCode::Unsupported, true, false, "COM Status: Error - refused", "", 0},
        {"bare terminal missing", 4, "/dev/pts/7", ErrorCode::NotFound, true, false, "COM Status: Error - refused",
         "", 0},
        {"not open after all", 4, "/dev/fake4", {}, false, false, "COM Status: Error - Port not available", "", 0},
        {"opened", 4, "/dev/fake4", {}, true, true, "COM Status: Open", "/dev/fake4", 1},
        {"opened bare terminal", 4, "/dev/pts/7", {}, true, true, "COM Status: Open", "/dev/pts/7", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DeviceSideTest f;
        f.ports.devices.insert(4, s(c.device));
        if (c.refusal)
            f.serialPort.openError = makeError(*c.refusal, s("refused"));
        f.serialPort.opensAsReported = c.opensAsReported;
        EXPECT_EQ(f.side.open(c.connector), c.goesOn);
        EXPECT_EQ(f.serialStatus(), s(c.status));
        EXPECT_EQ(f.reason(StatusLine::Serial), s(c.reason));
        EXPECT_EQ(f.deviceWatch.watched().size(), c.watches);
        EXPECT_EQ(f.deviceWatch.releaseWatched().size(), c.refusal == ErrorCode::Busy ? 1 : 0);
        EXPECT_EQ(f.side.isOpen(), c.goesOn && !c.refusal);
    }
}

TEST(DeviceSide, ListsWithoutAChoiceAreRefusedBeforeTheDevice)
{
    DeviceSideTest f;
    f.window.baudRate.select(-1);
    EXPECT_FALSE(f.side.open(4));
    EXPECT_TRUE(f.serialStatus().startsWith(s("COM Status: Error - Invalid baud rate")))
        << f.serialStatus().toStdString();
    EXPECT_EQ(f.serialPort.openCalls, 0);
}

TEST(DeviceSide, TheWatchLastsFromOpenToCloseAndItsFailureIsLogged)
{
    DeviceSideTest f;
    ASSERT_TRUE(f.side.open(4));
    EXPECT_EQ(f.deviceWatch.watched(), QStringList{kDevice});
    EXPECT_TRUE(f.side.close());
    EXPECT_EQ(f.serialStatus(), s("COM Status: Closed"));
    EXPECT_TRUE(f.deviceWatch.watched().isEmpty());
    {
        pvx::session::DeviceSide closedWindow{{f.serialPort, f.deviceWatch, f.ports}, f.serialContext()};
        ASSERT_TRUE(closedWindow.open(4));
    }
    EXPECT_TRUE(f.deviceWatch.watched().isEmpty()) << "a side that goes leaves no watch behind";

    DeviceSideTest unwatched;
    unwatched.deviceWatch.failure = makeError(ErrorCode::IoError, s("Cannot watch /dev: No space left on device"));
    EXPECT_TRUE(unwatched.side.open(4));
    EXPECT_EQ(unwatched.logged,
              QStringList{s("The device will not be reopened by itself: Cannot watch /dev: No space left on device")});
}

TEST(DeviceSide, ADeviceWaitedForAtOpenComesBackWithTheSettingsOfThatTime)
{
    for (const ErrorCode refusal : {ErrorCode::NotFound, ErrorCode::Busy}) {
        DeviceSideTest f;
        f.serialPort.openError = makeError(refusal, s("/dev/fake4: not there"));
        ASSERT_TRUE(f.side.open(4));
        f.baudRate("19200");
        f.serialPort.openError.reset();
        if (refusal == ErrorCode::Busy)
            f.deviceWatch.released(kDevice);
        else
            f.deviceWatch.changed(kDevice);
        EXPECT_EQ(f.serialStatus(), kOpen);
        EXPECT_EQ(f.serialPort.lastSettings.baudRate, 19200);
        EXPECT_EQ(f.events, QStringList{s("reopened")});
        EXPECT_TRUE(f.deviceWatch.releaseWatched().isEmpty());
    }
}

TEST(DeviceSide, SomethingElseAtThePathIsNotOpenedAndIsLoggedOnce)
{
    const struct {
        const char *name;
        ErrorCode code;
        const char *detail;
        int logged;
    } cases[] = {
        {"still missing", ErrorCode::NotFound, "/dev/fake4: No such file or directory", 0},
        {"a regular file", ErrorCode::Unsupported, "/dev/fake4: not a serial device", 1},
        {"a directory", ErrorCode::InvalidArgument, "/dev/fake4: Is a directory", 1},
        {"held by another program", ErrorCode::Busy, "/dev/fake4: the device is in use", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DeviceSideTest f;
        ASSERT_TRUE(f.side.open(4));
        f.deviceGoes();
        for (int i = 0; i < 3; ++i)
            f.pathChanges(makeError(c.code, s(c.detail)));
        EXPECT_EQ(f.serialStatus(), kGone);
        EXPECT_FALSE(f.side.isOpen());
        EXPECT_EQ(f.logged.count(s("The device was not reopened: ") + s(c.detail)), c.logged);
        EXPECT_TRUE(f.events.isEmpty());

        f.pathChanges();
        EXPECT_EQ(f.serialStatus(), kOpen);
        EXPECT_EQ(f.reason(StatusLine::Serial), kDevice);
        EXPECT_EQ(f.serialPort.reopenCalls, 4) << "only a device of the kind that went away";
        EXPECT_EQ(f.logged.count(s("The device /dev/fake4 came back")), 1);
        EXPECT_EQ(f.events, QStringList{s("reopened")});
    }
}

TEST(DeviceSide, AChangeSeenBeforeTheFailureIsTriedOnceAtTheFailure)
{
    // The device went and came back before the port noticed it had gone.
    DeviceSideTest f;
    ASSERT_TRUE(f.side.open(4));
    f.pathChanges();
    const int opens = f.serialPort.openCalls;
    f.deviceGoes();
    EXPECT_EQ(f.serialPort.openCalls, opens + 1);
    EXPECT_EQ(f.serialStatus(), kOpen);

    // A device that fails whenever it is opened is not tried again without a change.
    f.deviceGoes();
    f.deviceGoes();
    EXPECT_EQ(f.serialPort.openCalls, opens + 1);
    EXPECT_EQ(f.serialStatus(), kGone);
}

TEST(DeviceSide, WritesWithinTheDriverBufferAndTheTapCountsWhatWasTaken)
{
    const struct {
        const char *name;
        bool open;
        qint64 queuedInDriver;
        std::optional<qint64> deviceTakes;
        qint32 written;
    } cases[] = {
        {"closed port keeps it", false, 0, {}, 0},
        {"empty driver", true, 0, {}, 100},
        {"driver nearly full", true, 8192 - 30, {}, 30},
        {"driver full", true, 8192, {}, 0},
        {"device takes part", true, 0, 40, 40},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DeviceSideTest f;
        if (c.open) {
            ASSERT_TRUE(f.side.open(4));
        }
        f.serialPort.pendingOutput = c.queuedInDriver;
        f.serialPort.room = c.deviceTakes;
        const QByteArray bytes = QByteArray("0123456789").repeated(10);
        f.toSerial.append(bytes);
        EXPECT_EQ(f.side.writeFrom(f.toSerial), c.written);
        EXPECT_EQ(f.serialPort.written, bytes.left(c.written));
        EXPECT_EQ(f.toSerial.count(), bytes.size() - c.written);
        EXPECT_EQ(f.tap.moved().toSerial, c.written);
    }
}

TEST(DeviceSide, ReadsAsFarAsTheQueueHasRoomAndHandsOnTheDeviceEvents)
{
    DeviceSideTest f;
    ASSERT_TRUE(f.side.open(4));
    f.serialPort.receive(QByteArray(1500, 'x'));
    EXPECT_EQ(f.side.readInto(f.toNetwork), 1024);
    EXPECT_EQ(f.side.bytesAvailable(), 476);
    EXPECT_EQ(f.side.readInto(f.toNetwork), 0);
    f.serialPort.drainOutput(0);
    EXPECT_EQ(f.events, (QStringList{s("arrived"), s("writable")}));
    EXPECT_EQ(f.tap.moved().toNetwork + f.tap.moved().toSerial, 0) << "read is not yet moved";
}
