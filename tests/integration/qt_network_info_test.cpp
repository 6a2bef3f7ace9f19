#include "platform/linux/qt_network_info.h"

#include <QHostAddress>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

using pvx::platform::QtNetworkInfo;

TEST(QtNetworkInfo, ListsEachIPv4AddressOnceLoopbackIncluded)
{
    QStringList addresses = QtNetworkInfo().localIPv4Addresses();
    EXPECT_EQ(addresses.count(QStringLiteral("127.0.0.1")), 1);
    EXPECT_EQ(addresses.removeDuplicates(), 0);
    for (const QString &address : addresses)
        EXPECT_EQ(QHostAddress(address).protocol(), QAbstractSocket::IPv4Protocol) << address.toStdString();
}

TEST(QtNetworkInfo, ListsTheAddressesOfInterfacesThatAreDownToo)
{
    const QStringList addresses = QtNetworkInfo().localIPv4Addresses();
    ifaddrs *all = nullptr;
    ASSERT_EQ(::getifaddrs(&all), 0);
    for (const ifaddrs *entry = all; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(entry->ifa_addr)->sin_addr, text, sizeof text);
        EXPECT_TRUE(addresses.contains(QLatin1String(text))) << entry->ifa_name << " " << text;
    }
    ::freeifaddrs(all);
}
