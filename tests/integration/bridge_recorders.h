#pragma once

#include "platform/linux/qt_serial_port.h"
#include "platform/linux/qt_socket_factory.h"
#include "platform/serial_port.h"
#include "platform/socket.h"

#include <algorithm>
#include <memory>

namespace pvx::testing {

/// The most bytes the session ever left queued on its sockets and its serial
/// port, seen right after each of its writes and reads.
struct HighWater {
    qint64 socketUnsent = 0;
    qint64 serialUnsent = 0;
};

/// A real socket that records how far the session lets its queues grow.
class RecordingSocket final : public platform::Socket {
public:
    RecordingSocket(std::unique_ptr<platform::Socket> inner, HighWater &marks)
        : m_inner(std::move(inner)), m_marks(marks) {}

    void setProtocol(platform::SocketProtocol protocol) override { m_inner->setProtocol(protocol); }
    platform::SocketProtocol protocol() const override { return m_inner->protocol(); }
    void setLocalPort(int port) override { m_inner->setLocalPort(port); }
    int localPort() const override { return m_inner->localPort(); }
    void setRemoteHost(const QString &host) override { m_inner->setRemoteHost(host); }
    QString remoteHost() const override { return m_inner->remoteHost(); }
    void setRemotePort(int port) override { m_inner->setRemotePort(port); }
    int remotePort() const override { return m_inner->remotePort(); }
    QString remoteHostIP() const override { return m_inner->remoteHostIP(); }
    int senderPort() const override { return m_inner->senderPort(); }
    int state() const override { return m_inner->state(); }
    platform::Result<void> bind(int port, const QString &address) override { return m_inner->bind(port, address); }
    platform::Result<void> listen() override { return m_inner->listen(); }
    platform::Result<void> connect() override { return m_inner->connect(); }
    platform::Result<void> accept(int requestId) override { return m_inner->accept(requestId); }
    void close() override { m_inner->close(); }
    platform::Result<void> sendData(const QByteArray &bytes) override
    {
        auto sent = m_inner->sendData(bytes);
        m_marks.socketUnsent = std::max(m_marks.socketUnsent, m_inner->bytesToWrite());
        return sent;
    }
    QByteArray getData(qint64 maxBytes) override { return m_inner->getData(maxBytes); }
    qint64 readInto(char *buffer, qint64 maxBytes) override { return m_inner->readInto(buffer, maxBytes); }
    qint64 bytesAvailable() const override { return m_inner->bytesAvailable(); }
    qint64 bytesToWrite() const override { return m_inner->bytesToWrite(); }
    void holdSending(bool held) override { m_inner->holdSending(held); }
    void setTls(std::shared_ptr<const platform::TlsSetup> setup) override { m_inner->setTls(std::move(setup)); }
    void setEvents(Events events) override { m_inner->setEvents(std::move(events)); }

private:
    std::unique_ptr<platform::Socket> m_inner;
    HighWater &m_marks;
};

class RecordingSocketFactory final : public platform::SocketFactory {
public:
    explicit RecordingSocketFactory(HighWater &marks) : m_marks(marks) {}
    std::unique_ptr<platform::Socket> create() override
    {
        return std::make_unique<RecordingSocket>(m_inner.create(), m_marks);
    }
    platform::Result<std::shared_ptr<const platform::TlsSetup>> loadTls(const platform::TlsSettings &settings) override
    {
        return m_inner.loadTls(settings);
    }

private:
    platform::QtSocketFactory m_inner;
    HighWater &m_marks;
};

/// A real serial port that records how much the session leaves unsent.
class RecordingSerialPort final : public platform::SerialPort {
public:
    explicit RecordingSerialPort(HighWater &marks) : m_marks(marks) {}

    platform::Result<void> open(const QString &device, const platform::SerialSettings &settings) override
    {
        return m_inner.open(device, settings);
    }
    platform::Result<void> reopen(const QString &device, const platform::SerialSettings &settings) override
    {
        return m_inner.reopen(device, settings);
    }
    platform::Result<void> applySettings(const platform::SerialSettings &settings) override
    {
        return m_inner.applySettings(settings);
    }
    void close() override { m_inner.close(); }
    bool isOpen() const override { return m_inner.isOpen(); }
    qint64 bytesAvailable() const override { return m_inner.bytesAvailable(); }
    QByteArray read(qint64 maxBytes) override { return m_inner.read(maxBytes); }
    void discardInput() override { m_inner.discardInput(); }
    void discardOutput() override { m_inner.discardOutput(); }
    std::optional<platform::ModemLines> modemLines() const override { return m_inner.modemLines(); }
    bool setControlLine(platform::ControlLine line, bool on) override { return m_inner.setControlLine(line, on); }
    qint64 write(const QByteArray &bytes) override
    {
        const qint64 taken = m_inner.write(bytes);
        m_marks.serialUnsent = std::max(m_marks.serialUnsent, m_inner.bytesToWrite());
        return taken;
    }
    qint64 bytesToWrite() const override { return m_inner.bytesToWrite(); }
    void setEvents(Events events) override { m_inner.setEvents(std::move(events)); }

private:
    platform::QtSerialPort m_inner;
    HighWater &m_marks;
};

} // namespace pvx::testing
