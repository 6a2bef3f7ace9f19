#include "platform/linux/qt_network_info.h"

#include <QNetworkInterface>

namespace pvx::platform {

QStringList QtNetworkInfo::localIPv4Addresses() const
{
    QStringList addresses;
    const auto interfaces = QNetworkInterface::allInterfaces();
    // Interfaces that are down count too: a server may be set up to listen
    // on an address before its link comes up.
    for (const QNetworkInterface &interface : interfaces) {
        const auto entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            const QString text = entry.ip().toString();
            if (!addresses.contains(text))
                addresses.append(text);
        }
    }
    return addresses;
}

} // namespace pvx::platform
