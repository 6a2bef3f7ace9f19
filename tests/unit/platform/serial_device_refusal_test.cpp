#include "platform/linux/device_path.h"
#include "platform/linux/qt_serial_port.h"

#include <gtest/gtest.h>

#include <sys/sysmacros.h>

#include <cerrno>

using namespace pvx::platform;

TEST(SerialDeviceRefusal, NeverTheConsoleAndOnReopenOnlyTheKindThatWentAway)
{
    const struct {
        unsigned int major;
        unsigned int minor;
        std::optional<DeviceKind> kind;
        const char *refusal;
    } cases[] = {
        {5, 1, std::nullopt, "not a serial device"},  // /dev/console
        {188, 0, std::nullopt, nullptr},              // a USB adapter, first open
        {136, 3, 136, nullptr},                       // a pseudo-terminal again
        {166, 0, 188, "another kind of device than the one that went away"},
    };
    for (const auto &c : cases) {
        const auto refusal = serialDeviceRefusal(makedev(c.major, c.minor), c.kind);
        EXPECT_EQ(refusal.value_or(QString()), QString::fromLatin1(c.refusal)) << c.major << ':' << c.minor;
    }
}

TEST(SerialDeviceRefusal, AFailedOpenIsMissingInUseOrAFailure)
{
    const struct {
        QSerialPort::SerialPortError error;
        QString reason;
        bool mayReadWrite;
        ErrorCode code;
    } cases[] = {
        {QSerialPort::UnknownError, qt_error_string(ENXIO), true, ErrorCode::NotFound},
        {QSerialPort::ResourceError, qt_error_string(ENODEV), true, ErrorCode::NotFound},
        {QSerialPort::PermissionError, QStringLiteral("Permission error while locking the device"), true, ErrorCode::Busy},
        {QSerialPort::PermissionError, qt_error_string(EACCES), false, ErrorCode::AccessDenied},
        {QSerialPort::ResourceError, qt_error_string(EIO), true, ErrorCode::IoError},
    };
    for (const auto &c : cases)
        EXPECT_EQ(serialOpenRefusal(c.error, c.reason, c.mayReadWrite), c.code) << c.reason.toStdString();
}
