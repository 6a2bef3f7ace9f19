#include "platform/linux/ip_address.h"

#include <array>

#include <net/if.h>

namespace pvx::platform {

namespace {

Error notLocalAddress(const QString &text, const QString &reason)
{
    return makeError(ErrorCode::InvalidArgument,
                     QStringLiteral("Not a valid local address: %1 (%2)").arg(text, reason));
}

} // namespace

Result<QHostAddress> parseLocalAddress(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QHostAddress(QHostAddress::Any);
    QString inner = trimmed;
    if (trimmed.startsWith(QLatin1Char('['))) {
        const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
        if (close < 0)
            return notLocalAddress(text, QStringLiteral("the bracket is not closed"));
        if (close != trimmed.size() - 1)
            return notLocalAddress(text, QStringLiteral("a port does not belong in the address; set it apart"));
        inner = trimmed.mid(1, close - 1);
    } else if (trimmed.contains(QLatin1Char(']'))) {
        return notLocalAddress(text, QStringLiteral("the bracket is not opened"));
    } else if (trimmed.count(QLatin1Char(':')) == 1) {
        return notLocalAddress(text, QStringLiteral("a port does not belong in the address; set it apart"));
    }

    const qsizetype percent = inner.indexOf(QLatin1Char('%'));
    const QString zone = percent < 0 ? QString() : inner.mid(percent + 1);
    QHostAddress address;
    if (!address.setAddress(percent < 0 ? inner : inner.left(percent)))
        return notLocalAddress(text, QStringLiteral("neither an IPv4 nor an IPv6 address"));
    const bool isIPv6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    if (trimmed.startsWith(QLatin1Char('[')) && !isIPv6)
        return notLocalAddress(text, QStringLiteral("brackets hold IPv6 addresses only"));
    if (percent >= 0) {
        if (!isIPv6)
            return notLocalAddress(text, QStringLiteral("only an IPv6 address has a zone"));
        if (zone.isEmpty() || zoneIndex(zone) == 0)
            return notLocalAddress(text, QStringLiteral("this computer has no interface %1").arg(zone));
        address.setScopeId(zone);
    }
    return address;
}

QString addressText(const QHostAddress &address)
{
    // Qt would read "::" as 0.0.0.0 too; only a mapped address is IPv4.
    const bool mapped = address.protocol() == QAbstractSocket::IPv6Protocol
                        && !address.isEqual(QHostAddress(QHostAddress::AnyIPv6), QHostAddress::StrictConversion);
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    return mapped && isIPv4 ? QHostAddress(ipv4).toString() : address.toString();
}

std::uint32_t zoneIndex(const QString &zone)
{
    bool isNumber = false;
    const uint number = zone.toUInt(&isNumber);
    if (isNumber) {
        std::array<char, IF_NAMESIZE> name{};
        return number != 0 && ::if_indextoname(number, name.data()) != nullptr ? number : 0;
    }
    return ::if_nametoindex(zone.toLocal8Bit().constData());
}

} // namespace pvx::platform
