#pragma once

#include "platform/network_info.h"

namespace pvx::fakes {

class FakeNetworkInfo : public platform::NetworkInfo {
public:
    QStringList localIPv4Addresses() const override { return addresses; }
    QStringList localIPv6Addresses() const override { return ipv6Addresses; }
    QStringList addresses{QStringLiteral("127.0.0.1"), QStringLiteral("192.0.2.10")};
    QStringList ipv6Addresses;
};

} // namespace pvx::fakes
