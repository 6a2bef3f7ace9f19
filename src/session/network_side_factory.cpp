#include "session/network_side_factory.h"

#include "session/tcp_client_side.h"
#include "session/tcp_server_side.h"
#include "session/udp_side.h"

namespace pvx::session {

std::unique_ptr<NetworkSide> makeNetworkSide(Role role, bool udp, NetworkSide::Context context, PingService &pings)
{
    if (udp)
        return std::make_unique<UdpSide>(std::move(context), role);
    if (role == Role::Server)
        return std::make_unique<TcpServerSide>(std::move(context), pings);
    return std::make_unique<TcpClientSide>(std::move(context), pings);
}

} // namespace pvx::session
