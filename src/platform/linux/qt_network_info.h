#pragma once

#include "platform/network_info.h"

namespace pvx::platform {

/// This machine's addresses as QNetworkInterface sees them: those of every
/// interface, up or down, in interface order, each once.
class QtNetworkInfo final : public NetworkInfo {
public:
    QStringList localIPv4Addresses() const override;
    QStringList localIPv6Addresses() const override;
};

} // namespace pvx::platform
