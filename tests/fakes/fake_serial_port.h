#pragma once

#include "platform/serial_port.h"

#include <array>
#include <optional>

namespace pvx::fakes {

/// A serial device in memory: the test feeds received bytes, reads what was
/// written and decides how much the driver takes.
class FakeSerialPort : public platform::SerialPort {
public:
    platform::Result<void> open(const QString &device, const platform::SerialSettings &settings) override
    {
        ++openCalls;
        lastDevice = device;
        lastSettings = settings;
        if (openError)
            return *openError;
        m_open = opensAsReported;
        return {};
    }
    platform::Result<void> reopen(const QString &device, const platform::SerialSettings &settings) override
    {
        ++reopenCalls;
        return open(device, settings);
    }
    /// All or nothing: refused settings leave lastSettings as it was.
    platform::Result<void> applySettings(const platform::SerialSettings &settings) override
    {
        if (openError)
            return *openError;
        lastSettings = settings;
        return {};
    }
    void close() override
    {
        ++closeCalls;
        m_open = false;
    }
    bool isOpen() const override { return m_open; }
    qint64 bytesAvailable() const override { return received.size(); }
    QByteArray read(qint64 maxBytes) override
    {
        const QByteArray bytes = received.left(maxBytes);
        received.remove(0, bytes.size());
        return bytes;
    }
    void discardInput() override { received.clear(); }
    void discardOutput() override { ++discardOutputCalls; }
    std::optional<platform::ModemLines> modemLines() const override
    {
        return m_open ? modem : std::nullopt;
    }
    bool setControlLine(platform::ControlLine line, bool on) override
    {
        if (!m_open || !modem)
            return false;
        controlLines[static_cast<std::size_t>(line)] = on;
        return true;
    }
    qint64 write(const QByteArray &bytes) override
    {
        ++writeCalls;
        const qint64 taken = room ? std::min<qint64>(*room, bytes.size()) : bytes.size();
        if (room)
            *room -= taken;
        written += bytes.left(taken);
        if (queuesOutput)
            pendingOutput += taken;
        return taken;
    }
    qint64 bytesToWrite() const override { return pendingOutput; }
    void setEvents(Events newEvents) override { events = std::move(newEvents); }

    /// Bytes arrive from the device.
    void receive(const QByteArray &bytes)
    {
        received += bytes;
        if (events.readyRead)
            events.readyRead();
    }

    /// The device takes `bytes` of the queued output.
    void drainOutput(qint64 bytes)
    {
        pendingOutput -= bytes;
        if (events.bytesWritten)
            events.bytesWritten(bytes);
    }
    /// The device goes away while open.
    void fail(const platform::Error &error)
    {
        m_open = false;
        if (events.failed)
            events.failed(error);
    }

    Events events;
    QByteArray received;
    /// write adds what it took to pendingOutput, as a driver that has not sent it yet.
    bool queuesOutput = false;
    int writeCalls = 0;
    QByteArray written;
    qint64 pendingOutput = 0;
    /// How many more bytes writes take (unset: all); each write uses it up.
    std::optional<qint64> room;
    /// Refuses open, reopen and applySettings.
    std::optional<platform::Error> openError;
    bool opensAsReported = true;
    QString lastDevice;
    platform::SerialSettings lastSettings;
    int openCalls = 0;
    int reopenCalls = 0;
    int discardOutputCalls = 0;
    /// The device's modem lines; unset: it has none (a pseudo-terminal).
    std::optional<platform::ModemLines> modem;
    /// DTR, RTS and BREAK as last set.
    std::array<bool, 3> controlLines{};
    int closeCalls = 0;

private:
    bool m_open = false;
};

} // namespace pvx::fakes
