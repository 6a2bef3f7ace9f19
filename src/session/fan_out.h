#pragma once

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <vector>

namespace pvx::session {

/// One piece of serial data on its way to the clients. Handing a piece to a
/// thousand clients is a thousand system calls, too many for one turn of the
/// event loop: the piece goes out over as many turns as it takes, to the
/// clients in the order given, and the next piece waits until this one has
/// reached every client, so that no client gets bytes out of order.
class FanOut {
public:
    /// A client as it was when the piece was taken: a socket that has since
    /// been given to another connection gets nothing of it.
    struct Destination {
        int index = 0;
        std::uint64_t connection = 0;
    };
    /// Hands `bytes` to one destination; false when it is gone (no call made).
    using Send = std::function<bool(const Destination &destination, const QByteArray &bytes)>;

    /// Starts on `bytes`; the piece before must have been delivered.
    void start(QByteArray bytes, std::vector<Destination> destinations);
    /// Some destination still waits for the piece.
    bool busy() const { return m_next < m_destinations.size(); }
    /// Hands the piece to the next destinations until `maxSends` of them took
    /// it or none waits; returns how many took it. The bytes are let go once
    /// the last one has them.
    int deliver(int maxSends, const Send &send);
    /// Drops the piece, delivered or not.
    void clear();

private:
    QByteArray m_bytes;
    std::vector<Destination> m_destinations;
    std::size_t m_next = 0;
};

} // namespace pvx::session
