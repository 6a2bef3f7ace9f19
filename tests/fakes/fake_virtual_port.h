#pragma once

#include "platform/virtual_port.h"

#include <optional>

namespace pvx::fakes {

/// A virtual port in memory: the test plays the program on the other side.
class FakeVirtualPort : public platform::VirtualPort {
public:
    platform::Result<void> create(const QString &name) override
    {
        createdNames.append(name);
        if (createError)
            return *createError;
        m_name = name;
        return {};
    }
    platform::Result<void> remove() override
    {
        ++removeCalls;
        if (removeError)
            return *removeError;
        m_name.clear();
        m_opened = false;
        return {};
    }
    bool exists() const override { return !m_name.isEmpty(); }
    QString devicePath() const override { return QStringLiteral("/fake/") + m_name; }
    qint64 write(const QByteArray &bytes) override
    {
        const qint64 taken = room ? std::min<qint64>(*room, bytes.size()) : bytes.size();
        if (room)
            *room -= taken;
        written += bytes.left(taken);
        return taken;
    }
    QByteArray read(qint64 maxBytes) override
    {
        const QByteArray bytes = received.left(maxBytes);
        received.remove(0, bytes.size());
        return bytes;
    }
    qint64 bytesAvailable() const override { return received.size(); }
    void discardInput() override { received.clear(); }
    bool isOpenedByApplication() const override { return m_opened; }
    std::optional<platform::SerialSettings> lineSettings() const override
    {
        if (!exists())
            return std::nullopt;
        return line;
    }
    void resetBus() override { ++resetBusCalls; }
    void setEvents(Events newEvents) override { events = std::move(newEvents); }

    /// The other program opens or closes the port.
    void setOpenedByApplication(bool opened)
    {
        m_opened = opened;
        if (events.openedChanged)
            events.openedChanged(opened);
    }
    /// The other program reads `bytes` of what waits for it: writes take that
    /// much more.
    void makeRoom(qint64 bytes)
    {
        room = room.value_or(0) + bytes;
        if (events.writable)
            events.writable();
    }
    /// The other program writes.
    void receive(const QByteArray &bytes)
    {
        received += bytes;
        if (events.dataReceived)
            events.dataReceived();
    }

    Events events;
    QStringList createdNames;
    QByteArray received;
    QByteArray written;
    /// How many more bytes writes take (unset: all); each write uses it up.
    std::optional<qint64> room;
    std::optional<platform::Error> createError;
    /// What the program on the port set last.
    platform::SerialSettings line;
    std::optional<platform::Error> removeError;
    int removeCalls = 0;
    int resetBusCalls = 0;

private:
    QString m_name;
    bool m_opened = false;
};

} // namespace pvx::fakes
