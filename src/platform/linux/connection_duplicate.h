#pragma once

#include "platform/linux/unique_fd.h"

#include <QByteArray>

namespace pvx::platform {

/// A second descriptor of a TCP connection, held while Qt uses the first.
/// Qt closes its descriptor when the peer closes or resets the connection,
/// and after a failed write it also drops what it had read ahead; through
/// the duplicate the bytes the kernel still holds are read afterwards, and a
/// reset is told from an orderly close.
class ConnectionDuplicate {
public:
    ConnectionDuplicate() = default;
    /// Duplicates `descriptor` (close-on-exec). Holds nothing when that
    /// fails: the connection then simply ends as Qt sees it.
    explicit ConnectionDuplicate(int descriptor);

    /// True when the peer reset the connection: a reset still pending, or a
    /// connection closed outright where the peer's orderly close leaves it
    /// half open. Reads (and clears) the pending socket error.
    bool peerReset();
    /// From now on only what the kernel holds at this moment is read: a
    /// peer that still sends cannot keep an ended connection going.
    void keepWhatIsHeld();
    /// Bytes left to read of those kept.
    qint64 bytesAvailable() const;
    /// Up to `maxBytes` of those kept; less at the end or on an error (a
    /// reset after the last byte).
    QByteArray read(qint64 maxBytes);
    void close()
    {
        m_fd.reset();
        m_left = 0;
    }

private:
    qint64 kernelHolds() const;

    UniqueFd m_fd;
    qint64 m_left = 0;
};

} // namespace pvx::platform
