#pragma once

#include "platform/result.h"

#include <QString>

#include <array>
#include <vector>

namespace pvx::session {

/// Which peer addresses may reach a session: a list of addresses and CIDR
/// ranges of either family (`192.0.2.7, 10.0.0.0/8 2001:db8::/32`),
/// separated by commas or blanks. An empty list lets everyone in. A pure
/// value: no I/O, no name lookups.
class AddressFilter {
public:
    /// Everyone may connect.
    AddressFilter() = default;

    /// Parses `list`; InvalidArgument with the first entry that is not an
    /// address or a range as detail.
    static platform::Result<AddressFilter> parse(const QString &list);

    /// Whether a peer at `address` (as a socket reports it: IPv4 dotted,
    /// IPv6 with an optional zone, an IPv4-mapped IPv6 address counting as
    /// its IPv4 address) may connect. Text that is no address may not,
    /// unless the list is empty.
    bool allows(const QString &address) const;

private:
    /// IPv4 is held as its IPv4-mapped IPv6 address, so one comparison
    /// serves both families and a dual-stack listener's peers.
    using Bytes = std::array<unsigned char, 16>;
    struct Range {
        Bytes network;
        int prefixBits;
    };

    static bool parseAddress(const QString &text, Bytes &bytes, bool &isIpv4);
    static bool contains(const Range &range, const Bytes &address);

    std::vector<Range> m_ranges;
};

} // namespace pvx::session
