#include "platform/linux/qt_network_info.h"

#include <QHostAddress>
#include <gtest/gtest.h>

using pvx::platform::QtNetworkInfo;

TEST(QtNetworkInfo, ListsEachIPv4AddressOnceLoopbackIncluded)
{
    QStringList addresses = QtNetworkInfo().localIPv4Addresses();
    EXPECT_EQ(addresses.count(QStringLiteral("127.0.0.1")), 1);
    EXPECT_EQ(addresses.removeDuplicates(), 0);
    for (const QString &address : addresses)
        EXPECT_EQ(QHostAddress(address).protocol(), QAbstractSocket::IPv4Protocol) << address.toStdString();
}
