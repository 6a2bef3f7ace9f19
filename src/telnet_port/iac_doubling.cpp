#include "telnet_port/iac_doubling.h"

#include "telnet_port/telnet_codes.h"

#include <algorithm>
#include <cstring>

namespace pvx::telnet_port {

QByteArray doubleIac(const QByteArray &bytes)
{
    const char *begin = bytes.constData();
    const char *end = begin + bytes.size();
    const char iac = static_cast<char>(code::kIac);
    const void *first = std::memchr(begin, code::kIac, static_cast<std::size_t>(bytes.size()));
    if (first == nullptr)
        return bytes;

    QByteArray wire;
    wire.reserve(bytes.size() + std::count(begin, end, iac));
    for (const char *from = begin; from < end;) {
        const char *next = std::find(from, end, iac);
        wire.append(from, next - from);
        if (next == end)
            break;
        wire.append(iac).append(iac);
        from = next + 1;
    }
    return wire;
}

} // namespace pvx::telnet_port
