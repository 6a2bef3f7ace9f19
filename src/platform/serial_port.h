#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace pvx::platform {

enum class Parity {
    None,
    Even,
    Odd,
    Mark,
    Space,
};

enum class StopBits {
    One,
    OneAndHalf,
    Two,
};

enum class Handshaking {
    None = 0,
    XonXoff = 1,
    RtsCts = 2,
};

/// The modem input lines of a device.
struct ModemLines {
    bool cts = false;
    bool dsr = false;
    bool ri = false;
    bool cd = false;

    friend bool operator==(const ModemLines &, const ModemLines &) = default;
};

/// The output lines a program sets on a device besides the data.
enum class ControlLine {
    Dtr,
    Rts,
    Break,
};

/// Everything a real serial device is configured with.
struct SerialSettings {
    qint32 baudRate = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
    Handshaking handshaking = Handshaking::None;
    /// The line setting: DTR raised after open (a device without modem
    /// lines ignores it).
    bool dtr = true;
    /// Size of the driver-side receive and transmit buffers, in bytes.
    qint64 driverBufferSize = 8192;
};

/// A real serial device. Calls and events happen on the event-loop thread;
/// no event is delivered from inside a call into this object.
class SerialPort {
public:
    struct Events {
        /// Bytes are waiting; raised again only when more arrive.
        std::function<void()> readyRead;
        /// Some queued bytes reached the device.
        std::function<void(qint64 bytes)> bytesWritten;
        /// The device failed while open (unplugged, hung up); the port is
        /// already closed when this is raised.
        std::function<void(const Error &)> failed;
    };

    virtual ~SerialPort() = default;

    /// Opens the device at `device` (a path) with `settings`. The error's
    /// detail names the device and the reason; its code says what kind of
    /// refusal it is: NotFound (no device at the path, or a node whose device
    /// is not there), Busy (another program holds it), anything else (no
    /// permission, settings refused, not a serial device).
    virtual Result<void> open(const QString &device, const SerialSettings &settings) = 0;
    /// Opens `device` again after the device went away: as open(), but only
    /// a device of the same kind (the same driver) as the one this port last
    /// had open; before any, any serial device.
    virtual Result<void> reopen(const QString &device, const SerialSettings &settings) = 0;
    /// Applies new settings to an open port, all or none: when the device
    /// refuses any of them it is left exactly as it was, and the error says
    /// what was refused.
    virtual Result<void> applySettings(const SerialSettings &settings) = 0;
    /// Closes the port; a closed port is left alone.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    /// Received bytes waiting to be read (at most the driver buffer size).
    virtual qint64 bytesAvailable() const = 0;
    /// Returns and removes up to `maxBytes` received bytes.
    virtual QByteArray read(qint64 maxBytes) = 0;
    /// Throws away every received byte that is waiting.
    virtual void discardInput() = 0;
    /// Throws away every byte queued for the device and not yet sent.
    virtual void discardOutput() = 0;

    /// The modem input lines of an open device; nothing for a device
    /// without modem lines (a pseudo-terminal) or a closed port.
    virtual std::optional<ModemLines> modemLines() const = 0;
    /// Raises or drops `line` on an open device; false when the device has
    /// no such line (a pseudo-terminal) or the port is closed.
    virtual bool setControlLine(ControlLine line, bool on) = 0;

    /// Queues bytes for transmission; returns how many were taken.
    virtual qint64 write(const QByteArray &bytes) = 0;
    /// Bytes queued but not yet handed to the device.
    virtual qint64 bytesToWrite() const = 0;

    virtual void setEvents(Events events) = 0;
};

} // namespace pvx::platform
