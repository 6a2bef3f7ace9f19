#pragma once

#include "platform/result.h"

#include <QHostAddress>
#include <QString>

#include <cstdint>

namespace pvx::platform {

/// The address a server binds to, from the text a user typed: IPv4
/// (`192.0.2.7`, `0.0.0.0`), IPv6 with or without brackets (`::1`,
/// `[2001:db8::7]`, `::`), link-local with the zone it lives in
/// (`fe80::1%eth0`, the interface by name or number). Empty text means every
/// address of both families (QHostAddress::Any). Fails with InvalidArgument
/// and the reason: not an address, a bracket left open, a port glued on, a
/// zone this machine does not have.
Result<QHostAddress> parseLocalAddress(const QString &text);

/// `address` as a user would type it: IPv4 dotted (also when it arrives
/// IPv4-mapped, `::ffff:127.0.0.1` reads `127.0.0.1`), IPv6 in its short form
/// with its zone when it has one.
QString addressText(const QHostAddress &address);

/// The index of the interface a zone names, by name or by number; 0 when
/// this machine has no such interface.
std::uint32_t zoneIndex(const QString &zone);

} // namespace pvx::platform
