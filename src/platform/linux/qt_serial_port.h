#pragma once

#include "platform/linux/device_path.h"
#include "platform/linux/event_gate.h"
#include "platform/serial_port.h"

#include <QSerialPort>
#include <QSocketNotifier>

#include <sys/stat.h>

#include <optional>

namespace pvx::platform {

/// What a failed QSerialPort open means: `error` and `reason` as the port
/// reports them; `mayReadWrite` tells whether the caller may read and write
/// the device (a refusal then comes from another holder: Busy). A node whose
/// device is not there (ENOENT, ENODEV, ENXIO) is NotFound.
ErrorCode serialOpenRefusal(QSerialPort::SerialPortError error, const QString &reason, bool mayReadWrite);

/// A real serial device over QSerialPort.
///
/// open() fails with a detail that names the device and the reason:
/// "<device>: No such file or directory", "<device>: Is a directory",
/// "<device>: not a serial device" (also the console, /dev/tty and
/// /dev/ptmx), "<device>: the device is in use", "<device>: Permission
/// denied", or, for a setting the device refuses (or accepts and silently
/// changes: each setting is read back from the driver), "<device>: the
/// device refuses 7 data bits" (… "even parity", "1.5 stop bits", "hardware
/// flow control", "250000 baud"). 1.5 stop bits have no Linux line setting
/// and are always refused. A failed open leaves the port closed. DTR is
/// applied after open; a device without modem lines (a pseudo-terminal)
/// ignores it. reopen() also refuses a device of another driver (major
/// number) than the last one open: "<device>: another kind of device than
/// the one that went away".
///
/// At most `driverBufferSize` received bytes are held; beyond that the
/// device's own buffer fills and, with flow control, the device is held
/// back. When the device fails while open (unplugged, hung up), the port is
/// closed at the first error and `failed` is raised once.
///
/// Written bytes go to the device at once, as far as it takes them; the
/// rest waits in the port, in order, and `bytesWritten` reports each part
/// that reaches the device later.
///
/// Events follow EventGate: never from inside a call into this object; the
/// owner may destroy the port from inside any handler.
class QtSerialPort final : public SerialPort {
public:
    QtSerialPort();
    ~QtSerialPort() override;
    QtSerialPort(const QtSerialPort &) = delete;
    QtSerialPort &operator=(const QtSerialPort &) = delete;

    /// `device` is a path; a bare name is taken under /dev. An open port is
    /// closed first.
    Result<void> open(const QString &device, const SerialSettings &settings) override;
    Result<void> reopen(const QString &device, const SerialSettings &settings) override;
    /// Fails on a closed port; on a refused setting the port stays open with
    /// the whole line setting it had.
    Result<void> applySettings(const SerialSettings &settings) override;
    void close() override;
    bool isOpen() const override;

    qint64 bytesAvailable() const override;
    QByteArray read(qint64 maxBytes) override;
    void discardInput() override;
    void discardOutput() override;
    /// Read with the kernel's modem-line calls, which a pseudo-terminal refuses.
    std::optional<ModemLines> modemLines() const override;
    bool setControlLine(ControlLine line, bool on) override;
    /// Takes every byte (0 on a closed port, and on a device that fails the
    /// write: the port is closed then and `failed` follows).
    qint64 write(const QByteArray &bytes) override;
    qint64 bytesToWrite() const override;

    void setEvents(Events events) override;

private:
    Result<void> openDevice(const QString &device, const SerialSettings &settings);
    Result<void> configure(const SerialSettings &settings);
    Result<void> checkDevicePath() const;
    /// Refuses what `info` describes unless it is a serial device this port may open.
    Result<void> checkDevice(const struct stat &info) const;
    Error openError() const;
    Error deviceError(ErrorCode code, const QString &reason) const;
    void onError(QSerialPort::SerialPortError error);
    void onWritable();
    /// Hands the device what it takes of `bytes`; -1 when it fails.
    qint64 writeToDevice(QByteArrayView bytes);
    void fail(const QString &reason);

    EventGate m_gate;
    Events m_events;
    QSerialPort *m_port;
    QString m_device;
    /// The kind of the device last open; reopen() takes only that kind.
    std::optional<DeviceKind> m_kind;
    // Qt's port would hand its buffer to the device only at the next pass of
    // the event loop: the port writes itself, and keeps what did not fit.
    QByteArray m_unsent;
    QSocketNotifier m_writable{QSocketNotifier::Write};
};

} // namespace pvx::platform
