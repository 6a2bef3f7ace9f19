#include "tools/dotted_address.h"

namespace pvx::tools {

namespace {

constexpr std::uint64_t kMaxAddress = 0xffffffffU;

int digitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    int value = 99;
    if (u >= u'0' && u <= u'9')
        value = u - u'0';
    else if (u >= u'a' && u <= u'f')
        value = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        value = u - u'A' + 10;
    return value < base ? value : -1;
}

bool isDigit(const QString &text, qsizetype at)
{
    return at < text.size() && digitValue(text[at], 10) >= 0;
}

/// One part from `at` on, read as the C library's strtoul with base 0 reads
/// it; nothing when it exceeds 32 bits.
std::optional<std::uint64_t> readPart(const QString &text, qsizetype &at)
{
    int base = 10;
    if (text[at] == u'0') {
        const bool hex = at + 2 < text.size() && (text[at + 1] == u'x' || text[at + 1] == u'X')
                         && digitValue(text[at + 2], 16) >= 0;
        base = hex ? 16 : 8;
        at += hex ? 2 : 1;
    }
    std::uint64_t value = 0;
    for (; at < text.size(); ++at) {
        const int digit = digitValue(text[at], base);
        if (digit < 0)
            break;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (value > kMaxAddress)
            return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<AddressBytes> dottedTextToBytes(const QString &text)
{
    std::array<std::uint64_t, 4> parts{};
    std::size_t count = 0;
    qsizetype at = 0;
    for (;;) {
        if (!isDigit(text, at))
            return std::nullopt;
        const auto part = readPart(text, at);
        if (!part)
            return std::nullopt;
        parts[count++] = *part;
        if (at < text.size() && text[at] == u'.') {
            if (count == 4 || *part > 0xff)
                return std::nullopt;
            ++at;
            continue;
        }
        break;
    }
    if (at < text.size() && !(text[at].unicode() < 0x80 && text[at].isSpace()))
        return std::nullopt;

    // The last part fills the bytes the others leave.
    const std::uint64_t last = parts[count - 1];
    if (last >> (8 * (5 - count)) != 0)
        return std::nullopt;
    std::uint64_t value = last;
    for (std::size_t i = 0; i + 1 < count; ++i)
        value |= parts[i] << (8 * (3 - i));
    if (value == kMaxAddress)
        return std::nullopt;
    return AddressBytes{static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                        static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

QString addressBytesToText(const AddressBytes &bytes)
{
    return QStringLiteral("%1.%2.%3.%4").arg(bytes[0]).arg(bytes[1]).arg(bytes[2]).arg(bytes[3]);
}

} // namespace pvx::tools
