#include "session/address_filter.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace pvx::session {

namespace {

constexpr int kIpv4MappedOffset = 12;
constexpr int kAddressBits = 128;
constexpr int kIpv4Bits = 32;

bool parseIpv4(const QString &text, unsigned char *into)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        const QString &part = parts[i];
        // Digits only, no sign, no leading zero that some readers take as octal.
        if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part.startsWith(QLatin1Char('0'))))
            return false;
        bool ok = false;
        const uint value = part.toUInt(&ok, 10);
        if (!ok || value > 255 || !part.front().isDigit())
            return false;
        into[i] = static_cast<unsigned char>(value);
    }
    return true;
}

/// Up to eight groups of 1..4 hex digits, one "::" at most, an IPv4 tail.
bool parseIpv6(const QString &text, unsigned char *into)
{
    const qsizetype gap = text.indexOf(QStringLiteral("::"));
    if (gap >= 0 && text.indexOf(QStringLiteral("::"), gap + 1) >= 0)
        return false;
    const auto groupsOf = [](const QString &half, std::vector<unsigned char> &bytes) {
        if (half.isEmpty())
            return true;
        const QStringList groups = half.split(QLatin1Char(':'));
        for (qsizetype i = 0; i < groups.size(); ++i) {
            const QString &group = groups[i];
            if (i == groups.size() - 1 && group.contains(QLatin1Char('.'))) {
                unsigned char v4[4];
                if (!parseIpv4(group, v4))
                    return false;
                bytes.insert(bytes.end(), v4, v4 + 4);
                return true;
            }
            const bool hexDigits = std::all_of(group.begin(), group.end(), [](QChar c) {
                return c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'));
            });
            bool ok = false;
            const uint value = group.toUInt(&ok, 16);
            if (group.isEmpty() || group.size() > 4 || !hexDigits || !ok)
                return false;
            bytes.push_back(static_cast<unsigned char>(value >> 8));
            bytes.push_back(static_cast<unsigned char>(value & 0xFF));
        }
        return true;
    };
    std::vector<unsigned char> head;
    std::vector<unsigned char> tail;
    if (gap < 0) {
        if (!groupsOf(text, head) || head.size() != 16)
            return false;
    } else if (!groupsOf(text.left(gap), head) || !groupsOf(text.mid(gap + 2), tail) ||
               head.size() + tail.size() > 14) {
        return false;
    }
    std::fill(into, into + 16, 0);
    std::copy(head.begin(), head.end(), into);
    std::copy(tail.begin(), tail.end(), into + 16 - tail.size());
    return true;
}

} // namespace

platform::Result<AddressFilter> AddressFilter::parse(const QString &list)
{
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    AddressFilter filter;
    for (const QString &entry : list.split(separators, Qt::SkipEmptyParts)) {
        const qsizetype slash = entry.indexOf(QLatin1Char('/'));
        Range range{};
        bool isIpv4 = false;
        bool ok = parseAddress(slash < 0 ? entry : entry.left(slash), range.network, isIpv4);
        const int familyBits = isIpv4 ? kIpv4Bits : kAddressBits;
        int prefix = familyBits;
        if (ok && slash >= 0) {
            const QString bits = entry.mid(slash + 1);
            prefix = bits.toInt(&ok, 10);
            ok = ok && !bits.isEmpty() && bits.front().isDigit() && prefix <= familyBits;
        }
        if (!ok)
            return platform::makeError(platform::ErrorCode::InvalidArgument, entry);
        range.prefixBits = prefix + (kAddressBits - familyBits);
        filter.m_ranges.push_back(range);
    }
    return filter;
}

bool AddressFilter::allows(const QString &address) const
{
    if (m_ranges.empty())
        return true;
    Bytes bytes{};
    bool isIpv4 = false;
    // A zone names the link the peer came over; the address alone decides.
    if (!parseAddress(address.section(QLatin1Char('%'), 0, 0), bytes, isIpv4))
        return false;
    return std::any_of(m_ranges.begin(), m_ranges.end(),
                       [&bytes](const Range &range) { return contains(range, bytes); });
}

bool AddressFilter::parseAddress(const QString &text, Bytes &bytes, bool &isIpv4)
{
    isIpv4 = !text.contains(QLatin1Char(':'));
    if (isIpv4) {
        bytes.fill(0);
        bytes[10] = 0xFF;
        bytes[11] = 0xFF;
        return parseIpv4(text, bytes.data() + kIpv4MappedOffset);
    }
    return parseIpv6(text, bytes.data());
}

bool AddressFilter::contains(const Range &range, const Bytes &address)
{
    int bits = range.prefixBits;
    for (std::size_t i = 0; i < address.size() && bits > 0; ++i, bits -= 8) {
        const unsigned mask = bits >= 8 ? 0xFFu : (0xFFu << (8 - bits)) & 0xFFu;
        if (((address[i] ^ range.network[i]) & mask) != 0)
            return false;
    }
    return true;
}

} // namespace pvx::session
