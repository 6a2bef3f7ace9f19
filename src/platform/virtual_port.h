#pragma once

#include "platform/result.h"
#include "platform/serial_port.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace pvx::platform {

/// A serial port that this program creates so that another local program can
/// open it as a device. One object holds at most one port at a time. Calls
/// and events happen on the event-loop thread.
class VirtualPort {
public:
    struct Events {
        /// The other program wrote bytes. Raised once per arrival; raised
        /// again only after a read, so a reader may leave bytes waiting.
        std::function<void()> dataReceived;
        /// Another program opened (true) or closed (false) the port.
        std::function<void(bool opened)> openedChanged;
        /// A write took fewer bytes than it was given, and the port takes
        /// bytes again. Raised once after each such write while the other
        /// program has the port open.
        std::function<void()> writable;
    };

    virtual ~VirtualPort() = default;

    /// Creates the port under `name` ("COM5"). Fails with a description when
    /// the name is taken by anything that is not a stale port of ours.
    virtual Result<void> create(const QString &name) = 0;
    /// Removes the port this object created; succeeds when none exists.
    virtual Result<void> remove() = 0;
    virtual bool exists() const = 0;
    /// Where other programs open the port.
    virtual QString devicePath() const = 0;

    /// Hands bytes to the program that has the port open; returns how many
    /// were taken (fewer when its queue is full; `writable` follows).
    virtual qint64 write(const QByteArray &bytes) = 0;
    /// Returns and removes up to `maxBytes` bytes the other program wrote.
    virtual QByteArray read(qint64 maxBytes) = 0;
    virtual qint64 bytesAvailable() const = 0;
    virtual void discardInput() = 0;
    /// True while some program has the port open.
    virtual bool isOpenedByApplication() const = 0;
    /// The baud rate, stop bits and flow control the program on the port set
    /// last (the other fields keep their defaults: the port has no real line);
    /// nothing while no port exists. A system call each time: for polling.
    virtual std::optional<SerialSettings> lineSettings() const = 0;

    /// Removes ports left behind by processes that are gone.
    virtual void resetBus() = 0;

    virtual void setEvents(Events events) = 0;
};

} // namespace pvx::platform
