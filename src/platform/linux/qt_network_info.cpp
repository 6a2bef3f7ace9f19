#include "platform/linux/qt_network_info.h"

#include "platform/linux/ip_address.h"

#include <QNetworkInterface>

namespace pvx::platform {

namespace {

QStringList addressesOf(QAbstractSocket::NetworkLayerProtocol family)
{
    QStringList addresses;
    const auto interfaces = QNetworkInterface::allInterfaces();
    // Interfaces that are down count too: a server may be set up to listen
    // on an address before its link comes up.
    for (const QNetworkInterface &interface : interfaces) {
        const auto entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() != family)
                continue;
            // Qt gives a link-local address the zone of its interface.
            const QString text = addressText(entry.ip());
            if (!addresses.contains(text))
                addresses.append(text);
        }
    }
    return addresses;
}

} // namespace

QStringList QtNetworkInfo::localIPv4Addresses() const
{
    return addressesOf(QAbstractSocket::IPv4Protocol);
}

QStringList QtNetworkInfo::localIPv6Addresses() const
{
    return addressesOf(QAbstractSocket::IPv6Protocol);
}

} // namespace pvx::platform
