#include "platform/linux/qt_serial_port.h"
#include "support/pty_device.h"
#include "support/wait_until.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <ctime>

using namespace pvx::platform;
using pvx::testing::Pty;

namespace {

constexpr int kWait = 5000;

SerialSettings settings8N1()
{
    SerialSettings settings;
    settings.baudRate = 9600;
    return settings;
}

TEST(QtSerialPort, PassesBytesBothWays)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    QtSerialPort port;
    QByteArray received;
    SerialPort::Events events;
    events.readyRead = [&] { received += port.read(port.bytesAvailable()); };
    events.failed = [](const Error &error) { ADD_FAILURE() << error.detail.toStdString(); };
    port.setEvents(events);

    const auto opened = port.open(pty.slave(), settings8N1());
    ASSERT_TRUE(opened.ok()) << opened.error().detail.toStdString();
    EXPECT_TRUE(port.isOpen());

    ASSERT_EQ(pty.write(QByteArray("\x00\x01\r\n\xff device", 12)), 12);
    ASSERT_TRUE(waitUntil([&] { return received.size() == 12; }, kWait));
    EXPECT_EQ(received, QByteArray("\x00\x01\r\n\xff device", 12)) << "raw bytes, no line editing";

    EXPECT_EQ(port.write(QByteArray("to\ndevice\x00", 10)), 10);
    QByteArray atDevice;
    ASSERT_TRUE(waitUntil([&] { atDevice += pty.read(); return atDevice.size() >= 10; }, kWait));
    EXPECT_EQ(atDevice, QByteArray("to\ndevice\x00", 10));
    EXPECT_EQ(port.bytesToWrite(), 0);

    // Discarded input is gone, from the port and from the terminal.
    port.setEvents({});
    ASSERT_EQ(pty.write("stale"), 5);
    ASSERT_TRUE(waitUntil([&] { return port.bytesAvailable() == 5; }, kWait));
    port.discardInput();
    EXPECT_EQ(port.bytesAvailable(), 0);
    EXPECT_TRUE(port.read(100).isEmpty());

    port.close();
    EXPECT_FALSE(port.isOpen());
    port.close();
    EXPECT_EQ(port.write("late"), 0);
}

TEST(QtSerialPort, RefusedSettingsFailNamingTheDevice)
{
    const auto with = [](auto change) {
        SerialSettings settings = settings8N1();
        change(settings);
        return settings;
    };
    const struct {
        SerialSettings settings;
        const char *reason;
    } cases[] = {
        {with([](SerialSettings &s) { s.dataBits = 7; }), "the device refuses 7 data bits"},
        {with([](SerialSettings &s) { s.parity = Parity::Even; }), "the device refuses even parity"},
        {with([](SerialSettings &s) { s.parity = Parity::Space; }), "the device refuses space parity"},
        {with([](SerialSettings &s) { s.stopBits = StopBits::OneAndHalf; }), "the device refuses 1.5 stop bits"},
        {with([](SerialSettings &s) { s.dataBits = 9; }), "the device refuses 9 data bits"},
        {with([](SerialSettings &s) { s.baudRate = 0; }), "the device refuses 0 baud"},
    };
    Pty pty;
    ASSERT_TRUE(pty.ok());
    QtSerialPort port;
    for (const auto &c : cases) {
        const auto opened = port.open(pty.slave(), c.settings);
        ASSERT_FALSE(opened.ok()) << c.reason;
        EXPECT_EQ(opened.error().detail, pty.slave() + QStringLiteral(": ") + QLatin1String(c.reason));
        EXPECT_FALSE(port.isOpen());
    }
    // Nothing of the failed attempts stays locked.
    EXPECT_TRUE(port.open(pty.slave(), settings8N1()).ok());
}

TEST(QtSerialPort, AppliesSettingsToAnOpenPort)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    QtSerialPort port;
    SerialSettings settings = settings8N1();
    EXPECT_EQ(port.applySettings(settings).error().code, ErrorCode::WrongState);
    ASSERT_TRUE(port.open(pty.slave(), settings).ok());

    for (const qint32 baud : {115200, 250000, 1200}) {
        settings.baudRate = baud;
        const auto applied = port.applySettings(settings);
        EXPECT_TRUE(applied.ok()) << baud << " " << (applied.ok() ? "" : applied.error().detail.toStdString());
    }
    settings.stopBits = StopBits::Two;
    settings.handshaking = Handshaking::XonXoff;
    EXPECT_TRUE(port.applySettings(settings).ok());
    // Refused in part is refused whole: the baud rate set before the data
    // bits were refused goes back too.
    settings.baudRate = 19200;
    settings.dataBits = 7;
    EXPECT_EQ(port.applySettings(settings).error().detail, pty.slave() + QStringLiteral(": the device refuses 7 data bits"));
    EXPECT_TRUE(port.isOpen());
    termios line{};
    ASSERT_EQ(::tcgetattr(pty.master(), &line), 0);
    EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B1200));
    EXPECT_TRUE(line.c_cflag & CSTOPB);
    EXPECT_TRUE(line.c_iflag & IXON);
}

TEST(QtSerialPort, FlowControlReachesTheDevice)
{
    const struct {
        Handshaking handshaking;
        bool rtsCts;
        bool xonXoff;
    } cases[] = {
        {Handshaking::None, false, false},
        {Handshaking::XonXoff, false, true},
        {Handshaking::RtsCts, true, false},
    };
    for (const auto &c : cases) {
        Pty pty;
        ASSERT_TRUE(pty.ok());
        QtSerialPort port;
        SerialSettings settings = settings8N1();
        settings.handshaking = c.handshaking;
        ASSERT_TRUE(port.open(pty.slave(), settings).ok());
        // The master reads the terminal settings the slave was given.
        termios line{};
        ASSERT_EQ(::tcgetattr(pty.master(), &line), 0);
        EXPECT_EQ((line.c_cflag & CRTSCTS) != 0, c.rtsCts) << static_cast<int>(c.handshaking);
        EXPECT_EQ((line.c_iflag & IXON) != 0, c.xonXoff) << static_cast<int>(c.handshaking);
        EXPECT_EQ((line.c_iflag & IXOFF) != 0, c.xonXoff) << static_cast<int>(c.handshaking);
    }
}

TEST(QtSerialPort, PathsThatAreNoSerialDeviceFail)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString file = folder.filePath(QStringLiteral("plain"));
    {
        QFile plain(file);
        ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    }
    const QString missing = folder.filePath(QStringLiteral("ttyMissing"));
    const struct {
        QString path;
        ErrorCode code;
        QString reason;
    } cases[] = {
        {missing, ErrorCode::NotFound, QStringLiteral("No such file or directory")},
        {folder.path(), ErrorCode::InvalidArgument, QStringLiteral("Is a directory")},
        {file, ErrorCode::Unsupported, QStringLiteral("not a serial device")},
        {QStringLiteral("/dev/null"), ErrorCode::Unsupported, QStringLiteral("not a serial device")},
    };
    QtSerialPort port;
    for (const auto &c : cases) {
        const auto opened = port.open(c.path, settings8N1());
        ASSERT_FALSE(opened.ok()) << c.path.toStdString();
        EXPECT_EQ(opened.error().code, c.code) << c.path.toStdString();
        EXPECT_EQ(opened.error().detail, c.path + QStringLiteral(": ") + c.reason);
        EXPECT_FALSE(port.isOpen());
    }
}

TEST(QtSerialPort, DeviceInUseIsRefused)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    QtSerialPort first;
    QtSerialPort second;
    ASSERT_TRUE(first.open(pty.slave(), settings8N1()).ok());
    const auto opened = second.open(pty.slave(), settings8N1());
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error().code, ErrorCode::Busy);
    EXPECT_EQ(opened.error().detail, pty.slave() + QStringLiteral(": the device is in use"));
    first.close();
    EXPECT_TRUE(second.open(pty.slave(), settings8N1()).ok());
}

TEST(QtSerialPort, DeviceGoneClosesThePortAndFailsOnce)
{
    // Found gone by the port's own read, or by a write: either way the port
    // closes, fails once, and a write takes nothing.
    const struct {
        bool writtenTo;
        const char *reason;
    } cases[] = {
        {false, "the device hung up or was removed"},
        {true, "the device is no longer available"},
    };
    for (const auto &c : cases) {
        Pty pty;
        ASSERT_TRUE(pty.ok());
        QtSerialPort port;
        int failures = 0;
        int readyReads = 0;
        Error failure;
        SerialPort::Events events;
        events.failed = [&](const Error &error) {
            ++failures;
            failure = error;
            EXPECT_FALSE(port.isOpen());
        };
        events.readyRead = [&] { ++readyReads; };
        port.setEvents(events);
        ASSERT_TRUE(port.open(pty.slave(), settings8N1()).ok());

        pty.closeMaster();
        if (c.writtenTo) {
            EXPECT_EQ(port.write("late"), 0);
        }
        ASSERT_TRUE(waitUntil([&] { return failures > 0; }, kWait)) << c.reason;
        const std::clock_t cpuBefore = std::clock();
        waitUntil([] { return false; }, 1000);
        const double cpuSeconds = static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
        EXPECT_LT(cpuSeconds, 0.5) << "the event loop spins on the dead device";
        EXPECT_EQ(failures, 1) << c.reason;
        EXPECT_EQ(readyReads, 0);
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(port.write("later"), 0);
        EXPECT_EQ(failure.code, ErrorCode::IoError);
        EXPECT_EQ(failure.detail, pty.slave() + QStringLiteral(": ") + QLatin1String(c.reason));
    }
}

TEST(QtSerialPort, MayBeDestroyedWhenTheDeviceFails)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    auto port = std::make_unique<QtSerialPort>();
    SerialPort::Events events;
    events.failed = [&](const Error &) { port.reset(); };
    port->setEvents(events);
    ASSERT_TRUE(port->open(pty.slave(), settings8N1()).ok());
    pty.closeMaster();
    EXPECT_TRUE(waitUntil([&] { return !port; }, kWait));
}

TEST(QtSerialPort, KeepsWhatTheDeviceDoesNotTakeInOrder)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    QtSerialPort port;
    qint64 reported = 0;
    SerialPort::Events events;
    events.bytesWritten = [&](qint64 bytes) { reported += bytes; };
    port.setEvents(events);
    ASSERT_TRUE(port.open(pty.slave(), settings8N1()).ok());

    // Nobody reads the device: it fills, and the port keeps the rest.
    QByteArray payload(512 * 1024, '\0');
    for (int i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<char>(i % 253);
    for (qsizetype at = 0; at < payload.size(); at += 8192)
        ASSERT_EQ(port.write(payload.mid(at, 8192)), 8192);
    const qint64 kept = port.bytesToWrite();
    ASSERT_GT(kept, 0);

    QByteArray atDevice;
    ASSERT_TRUE(waitUntil([&] { atDevice += pty.read(); return atDevice.size() == payload.size(); }, 20000));
    EXPECT_TRUE(atDevice == payload);
    EXPECT_EQ(reported, kept) << "what waited is reported as it reaches the device";
    EXPECT_EQ(port.bytesToWrite(), 0);
}

TEST(QtSerialPort, HoldsAtMostTheDriverBufferUntilRead)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    QtSerialPort port;
    SerialSettings settings = settings8N1();
    settings.driverBufferSize = 1024;
    ASSERT_TRUE(port.open(pty.slave(), settings).ok());

    QByteArray payload(32 * 1024, '\0');
    for (int i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<char>(i % 251);
    qint64 sent = 0;
    const auto feed = [&] { sent += pty.write(payload.mid(sent)); };

    // Nobody reads: the port holds its buffer, the terminal the rest.
    feed();
    ASSERT_TRUE(waitUntil([&] { feed(); return port.bytesAvailable() >= 1024; }, kWait));
    waitUntil([&] { feed(); return false; }, 300);
    EXPECT_EQ(port.bytesAvailable(), 1024);
    EXPECT_LT(sent, payload.size());

    QByteArray received;
    SerialPort::Events events;
    events.readyRead = [&] { received += port.read(port.bytesAvailable()); };
    port.setEvents(events);
    received += port.read(1024);
    ASSERT_TRUE(waitUntil([&] { feed(); return received.size() == payload.size(); }, 20000));
    EXPECT_TRUE(received == payload);
}

} // namespace
