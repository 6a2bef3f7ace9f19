#pragma once

#include "session/network_side.h"
#include "session/session_choices.h"

#include <memory>

namespace pvx::session {

struct PingService;

/// The network side of `role`, over UDP or TCP.
std::unique_ptr<NetworkSide> makeNetworkSide(Role role, bool udp, NetworkSide::Context context, PingService &pings);

} // namespace pvx::session
