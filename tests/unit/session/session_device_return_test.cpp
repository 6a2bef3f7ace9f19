#include "session/session.h"

#include "bridge_fixture.h"

#include <gtest/gtest.h>

using pvx::platform::ErrorCode;
using pvx::platform::makeError;
using pvx::testing::BridgeFixture;
using pvx::testing::kNetworkLine;
using pvx::testing::kSerialLine;
using pvx::testing::pattern;
using pvx::testing::s;
using Role = BridgeFixture::Role;
using Side = BridgeFixture::Side;

namespace {

const QString kDevice = s("/dev/fake4");

/// An active server on a real device with one client, whose device can go
/// away and come back.
struct ReturningDevice : BridgeFixture {
    ReturningDevice() : BridgeFixture(Role::Server)
    {
        activate();
        client = connectClient();
    }

    void deviceGoes() { serial->fail(makeError(ErrorCode::IoError, s("/dev/fake4: the device hung up or was removed"))); }
    /// Something happens at the device's path; what is there answers the open.
    void pathChanges(std::optional<pvx::platform::Error> whatIsThere = std::nullopt)
    {
        serial->openError = std::move(whatIsThere);
        deviceWatch.changed(kDevice);
    }
    int logLines(const QString &text) { return static_cast<int>(logText().count(text)); }

    int client = -1;
};

const QString kOpen = s("COM Status: Open");
const QString kGone = s("COM Status: Error - /dev/fake4: the device hung up or was removed");

} // namespace

TEST(DeviceReturn, TheSessionTakesTheDeviceBackWithWhatWaitedAndItsSettings)
{
    ReturningDevice f;
    f.serialSends("before");
    EXPECT_EQ(f.socket(f.client).sentBytes(), QByteArray("before"));
    f.deviceGoes();
    ASSERT_EQ(f.status(kSerialLine), kGone);

    // The network goes on sending, and the settings change, while the device is away.
    const QByteArray waiting = pattern(700);
    f.socket(f.client).arrive(waiting);
    f.tick(3);
    ASSERT_TRUE(f.session->runCommand(s("[COMSETTINGS=19200,N,8,2]")));
    EXPECT_EQ(f.session->toSerialBuffer().count(), waiting.size());

    f.pathChanges();
    EXPECT_EQ(f.status(kSerialLine), kOpen);
    EXPECT_EQ(f.window().statusLine(kSerialLine).toolTip(), kDevice);
    EXPECT_EQ(f.serial->lastDevice, kDevice);
    EXPECT_EQ(f.serial->reopenCalls, 1) << "only a device of the kind that went away";
    EXPECT_EQ(f.serial->lastSettings.baudRate, 19200);
    EXPECT_EQ(f.serial->lastSettings.stopBits, pvx::platform::StopBits::Two);
    EXPECT_EQ(f.serial->written, waiting) << "what waited is written at once, in order";
    EXPECT_EQ(f.session->toSerialBuffer().count(), 0);
    EXPECT_EQ(f.logLines(s("The device /dev/fake4 came back")), 1);
    EXPECT_TRUE(f.session->isActive());

    // Both ways again.
    f.serialSends("after");
    f.socket(f.client).arrive("more");
    EXPECT_EQ(f.socket(f.client).sentBytes(), QByteArray("beforeafter"));
    EXPECT_EQ(f.serial->written, waiting + "more");
}

TEST(DeviceReturn, ADeviceMissingOrInUseAtActivationIsWaitedForAnyOtherRefusalFails)
{
    const struct {
        ErrorCode code;
        const char *detail;
        bool waits;
    } cases[] = {
        {ErrorCode::NotFound, "/dev/fake4: No such file or directory", true},
        {ErrorCode::Busy, "/dev/fake4: the device is in use", true},
        {ErrorCode::AccessDenied, "/dev/fake4: Permission denied", false},
        {ErrorCode::Unsupported, "/dev/fake4: the device refuses 7 data bits", false},
    };
    for (const auto &c : cases) {
        BridgeFixture f(Role::Server);
        f.serial->openError = makeError(c.code, s(c.detail));
        f.session->toggleActive();
        ASSERT_EQ(f.session->isActive(), c.waits) << c.detail;
        EXPECT_EQ(f.deviceWatch.watched().size(), c.waits ? 1 : 0) << c.detail;
        EXPECT_EQ(f.deviceWatch.releaseWatched().size(), c.code == ErrorCode::Busy ? 1 : 0) << c.detail;
        if (!c.waits) {
            EXPECT_EQ(f.status(kSerialLine), s("COM Status: Error - ") + s(c.detail));
            continue;
        }
        EXPECT_EQ(f.status(kSerialLine), s("COM Status: Waiting for the device /dev/fake4"));
        EXPECT_EQ(f.window().statusLine(kSerialLine).toolTip(), s(c.detail));
        EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: Listening..."));

        // What a client sends waits; the device opens with the session's settings when it turns up.
        f.socket(f.connectClient()).arrive("early");
        ASSERT_TRUE(f.session->runCommand(s("[COMSETTINGS=19200,N,8,1]")));
        f.serial->openError.reset();
        if (c.code == ErrorCode::Busy)
            f.deviceWatch.released(kDevice);
        else
            f.deviceWatch.changed(kDevice);
        EXPECT_EQ(f.status(kSerialLine), kOpen) << c.detail;
        EXPECT_EQ(f.serial->written, QByteArray("early")) << c.detail;
        EXPECT_EQ(f.serial->lastSettings.baudRate, 19200) << c.detail;
        EXPECT_TRUE(f.deviceWatch.releaseWatched().isEmpty()) << c.detail;
    }

    // Nothing would reopen a bare pseudo-terminal: it fails as before.
    BridgeFixture terminal(Role::Server);
    terminal.ports.devices.insert(4, s("/dev/pts/7"));
    terminal.serial->openError = makeError(ErrorCode::NotFound, s("/dev/pts/7: No such file or directory"));
    terminal.session->toggleActive();
    EXPECT_FALSE(terminal.session->isActive());
}

TEST(DeviceReturn, SomethingElseAtThePathIsNotOpenedAndIsLoggedOnce)
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
        ReturningDevice f;
        f.deviceGoes();
        f.socket(f.client).arrive("held");
        for (int i = 0; i < 3; ++i)
            f.pathChanges(makeError(c.code, s(c.detail)));
        EXPECT_EQ(f.status(kSerialLine), kGone) << c.name;
        EXPECT_FALSE(f.serial->isOpen()) << c.name;
        EXPECT_EQ(f.logLines(s("The device was not reopened: ") + s(c.detail)), c.logged) << c.name;

        // When the real device is back, nothing that waited is lost.
        f.pathChanges();
        EXPECT_EQ(f.status(kSerialLine), kOpen) << c.name;
        EXPECT_EQ(f.serial->written, QByteArray("held")) << c.name;
    }
}

TEST(DeviceReturn, AFlappingDeviceCostsOneOpenPerChangeAndLosesNothing)
{
    ReturningDevice f;
    const int opensAtStart = f.serial->openCalls;
    QByteArray sent;
    int changes = 0;
    for (int flap = 0; flap < 200; ++flap) {
        f.deviceGoes();
        const QByteArray chunk = pattern(97, flap);
        f.socket(f.client).arrive(chunk);
        sent += chunk;
        // A node that shows up and is gone again before it can be opened.
        f.pathChanges(makeError(ErrorCode::NotFound, s("/dev/fake4: No such file or directory")));
        f.pathChanges();
        changes += 2;
        f.serialSends(QByteArray::number(flap) + ',');
    }
    EXPECT_EQ(f.serial->openCalls - opensAtStart, changes) << "a failure alone never opens";
    EXPECT_EQ(f.serial->written, sent);
    EXPECT_EQ(f.status(kSerialLine), kOpen);
    EXPECT_TRUE(f.socket(f.client).sentBytes().endsWith("198,199,"));
    EXPECT_EQ(f.logLines(s("The device was not reopened")), 0);
}

TEST(DeviceReturn, AChangeSeenBeforeTheFailureIsTriedOnceAtTheFailure)
{
    // The device went and came back before the port noticed it had gone.
    ReturningDevice f;
    f.socket(f.client).arrive("first");
    f.pathChanges();
    const int opens = f.serial->openCalls;
    f.deviceGoes();
    EXPECT_EQ(f.serial->openCalls, opens + 1);
    EXPECT_EQ(f.status(kSerialLine), kOpen);

    // A device that fails whenever it is opened is not tried again without a change.
    f.deviceGoes();
    f.deviceGoes();
    EXPECT_EQ(f.serial->openCalls, opens + 1);
    EXPECT_EQ(f.status(kSerialLine), kGone);
}

TEST(DeviceReturn, OnlyAnActiveSessionOnARealDeviceWatchesItsPath)
{
    BridgeFixture real(Role::Client);
    EXPECT_TRUE(real.deviceWatch.watched().isEmpty());
    real.activate();
    EXPECT_EQ(real.deviceWatch.watched(), QStringList{kDevice});
    real.session->toggleActive();
    EXPECT_TRUE(real.deviceWatch.watched().isEmpty()) << "deactivation cancels the watch";
    real.activate();
    real.session.reset();
    EXPECT_TRUE(real.deviceWatch.watched().isEmpty()) << "a closed window leaves no watch behind";

    BridgeFixture virtualPort(Role::Client, Side::VirtualPort);
    virtualPort.activate();
    EXPECT_TRUE(virtualPort.deviceWatch.watched().isEmpty());

    // A bare pseudo-terminal's number goes to whichever terminal comes next.
    BridgeFixture terminal(Role::Client);
    terminal.ports.devices.insert(4, s("/dev/pts/7"));
    terminal.activate();
    EXPECT_TRUE(terminal.deviceWatch.watched().isEmpty());

    // Without a watch the session still runs; the log says what it will not do.
    BridgeFixture unwatched(Role::Client);
    unwatched.deviceWatch.failure = makeError(ErrorCode::IoError, s("Cannot watch /dev: No space left on device"));
    unwatched.activate();
    EXPECT_TRUE(unwatched.logText().contains(
        s("The device will not be reopened by itself: Cannot watch /dev: No space left on device")));
}
