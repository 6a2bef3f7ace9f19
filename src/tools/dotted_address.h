#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace pvx::tools {

/// An IPv4 address as its four bytes, first byte first (network order).
using AddressBytes = std::array<std::uint8_t, 4>;

/// The standard conversion of dotted text: one to four parts joined by
/// dots, each decimal, octal (leading 0) or hexadecimal (leading 0x), the
/// last part filling the bytes that remain ("127.1" is 127.0.0.1); anything
/// after a blank is ignored. Nothing for text that does not convert, and
/// for 255.255.255.255, whose value is the conversion's failure value.
std::optional<AddressBytes> dottedTextToBytes(const QString &text);

/// The four bytes as dotted text: "192.168.1.10".
QString addressBytesToText(const AddressBytes &bytes);

} // namespace pvx::tools
