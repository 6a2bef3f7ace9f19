#pragma once

#include <QString>

namespace pvx::tools {

/// Status codes of an echo that the tools act on themselves.
constexpr int kStatusSuccess = 0;
/// The address text is no dotted IPv4 address.
constexpr int kStatusBadAddress = -1;
/// The echo data does not fit the reply's data area.
constexpr int kStatusBufferTooSmall = 11001;

/// The status as a signed number, three blanks and its message in brackets:
/// "0   [IP Success]", "11010   [IP Request Timed Out]". The messages are
/// fixed English texts; a status without one reads "Unknown Message Returned".
QString echoStatusText(int status);

} // namespace pvx::tools
