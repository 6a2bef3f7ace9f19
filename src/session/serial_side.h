#pragma once

#include <QString>

#include <functional>

namespace pvx::session {

class SessionWindow;
class SideStatus;
class TrafficTap;
class TransferBuffer;

/// The serial end of a session: a real device, or a virtual port that a
/// program on this machine opens. The session reads what arrives into its
/// queue for the network and writes what the network sent; each kind knows
/// its own opening and closing, its events and its status texts. Every byte
/// read or written passes the session's tap.
class SerialSide {
public:
    /// What a side tells the session.
    struct Events {
        /// Bytes arrived to be read.
        std::function<void()> arrived;
        /// There is room to write again.
        std::function<void()> writable;
        /// A program opened (true) or closed the virtual port.
        std::function<void(bool opened)> programOpened;
        /// A device that had failed is open again.
        std::function<void()> reopened;
    };

    /// What both kinds share with the session around them.
    struct Context {
        SessionWindow &window;
        /// The serial status line.
        const SideStatus &status;
        std::function<void(const QString &text)> log;
        TrafficTap &tap;
        Events events;
    };

    virtual ~SerialSide() = default;

    /// Opens connector `connector` for an activation, showing the outcome
    /// on the status line; false when the activation cannot go on.
    virtual bool open(int connector) = 0;
    /// Closes for a deactivation, or when an activation is rolled back,
    /// showing it; false when the side could not be closed (the session
    /// stays active).
    virtual bool close() = 0;
    /// There is something to read from.
    virtual bool isOpen() const = 0;
    virtual qint64 bytesAvailable() const = 0;
    /// Reads into `queue` as far as it has room; the bytes read.
    virtual qint32 readInto(TransferBuffer &queue) = 0;
    /// Throws away what waits to be read.
    virtual void discardInput() = 0;
    /// Writes the front of `buffer` as far as the side takes it now and
    /// drops what went (or what nobody will take); the bytes dropped.
    virtual qint32 writeFrom(TransferBuffer &buffer) = 0;
    /// Input that nothing on the network would take is thrown away before
    /// it is read, instead of being read and lost later.
    virtual bool discardsUnwantedInput() const = 0;
    /// A virtual port that no program holds open yet.
    virtual bool awaitsProgram() const = 0;
    /// Where programs open the side.
    virtual QString path() const = 0;
    /// An open device takes the window's line settings at once; false,
    /// logged, when it refuses them (it keeps what it had). Anything else
    /// takes them when it is next opened.
    virtual bool applyLineSettings() = 0;
};

} // namespace pvx::session
