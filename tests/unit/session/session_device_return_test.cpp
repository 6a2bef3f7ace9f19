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

TEST(DeviceReturn, TheActivationGoesOnWhileTheDeviceIsWaitedForAndWhatArrivesMeanwhileGoesFirst)
{
    for (const ErrorCode refusal : {ErrorCode::NotFound, ErrorCode::Busy}) {
        BridgeFixture f(Role::Server);
        f.serial->openError = makeError(refusal, s("/dev/fake4: not there"));
        f.session->toggleActive();
        ASSERT_TRUE(f.session->isActive());
        EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: Listening..."));

        f.socket(f.connectClient()).arrive("early");
        ASSERT_TRUE(f.session->runCommand(s("[COMSETTINGS=19200,N,8,1]")));
        f.serial->openError.reset();
        if (refusal == ErrorCode::Busy)
            f.deviceWatch.released(kDevice);
        else
            f.deviceWatch.changed(kDevice);
        EXPECT_EQ(f.status(kSerialLine), kOpen);
        EXPECT_EQ(f.serial->written, QByteArray("early"));
        EXPECT_EQ(f.serial->lastSettings.baudRate, 19200);
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

TEST(DeviceReturn, OnlyAnActiveSessionOnARealDeviceWatchesItsPath)
{
    BridgeFixture real(Role::Client);
    EXPECT_TRUE(real.deviceWatch.watched().isEmpty());
    real.activate();
    EXPECT_EQ(real.deviceWatch.watched(), QStringList{kDevice});
    real.session->toggleActive();
    EXPECT_TRUE(real.deviceWatch.watched().isEmpty()) << "deactivation cancels the watch";

    BridgeFixture virtualPort(Role::Client, Side::VirtualPort);
    virtualPort.activate();
    EXPECT_TRUE(virtualPort.deviceWatch.watched().isEmpty());
}
