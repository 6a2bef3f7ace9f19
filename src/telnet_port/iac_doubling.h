#pragma once

#include <QByteArray>

namespace pvx::telnet_port {

/// `bytes` as they go on the wire, every 0xFF doubled. Without a 0xFF the
/// result shares `bytes` (no copy), found with a single scan.
QByteArray doubleIac(const QByteArray &bytes);

} // namespace pvx::telnet_port
