#pragma once

#include <QtGlobal>

namespace pvx::telnet_port {

/// The bytes of Telnet's command language that this unit reads and writes.
namespace code {
inline constexpr quint8 kSe = 240;   ///< end of a subnegotiation
inline constexpr quint8 kSb = 250;   ///< start of a subnegotiation
inline constexpr quint8 kWill = 251;
inline constexpr quint8 kWont = 252;
inline constexpr quint8 kDo = 253;
inline constexpr quint8 kDont = 254;
inline constexpr quint8 kIac = 255;  ///< "interpret as command"; doubled when it is data
} // namespace code

/// The options this unit negotiates; every other one is refused.
namespace option {
inline constexpr quint8 kBinary = 0;
inline constexpr quint8 kSuppressGoAhead = 3;
inline constexpr quint8 kComPort = 44;
} // namespace option

/// Which end of a remote serial line this side is: the client asks for line
/// settings, the server (the side with the device) applies and answers them.
enum class Role {
    Client,
    Server,
};

} // namespace pvx::telnet_port
