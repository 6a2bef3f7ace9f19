#include "session/link_watchdog.h"

#include "platform/icmp_echo.h"
#include "session/client_links.h"
#include "tools/echo_status.h"
#include "tools/send_echo.h"

#include <algorithm>
#include <climits>

namespace pvx::session {

namespace {

constexpr int kStatusGeneralFailure = 11050;
constexpr int kTicksHalfSecond = 9;
constexpr int kTicksOneSecond = 18;
constexpr int kTicksPerStep = 91;

} // namespace

LinkWatchdog::LinkWatchdog(PingService &service, const ProgramSettings &settings, const ClientLinks &links,
                           Actions actions)
    : m_service(service), m_settings(settings), m_links(links), m_actions(std::move(actions))
{
}

LinkWatchdog::~LinkWatchdog()
{
    restart();
}

int LinkWatchdog::periodTicks(int pingFrequency)
{
    switch (pingFrequency) {
    case 0:
        return kTicksHalfSecond;
    case 1:
        return kTicksOneSecond;
    default:
        // Widened so that a position from a hand-edited file cannot overflow.
        const std::int64_t ticks = (static_cast<std::int64_t>(pingFrequency) - 1) * kTicksPerStep;
        return static_cast<int>(std::clamp<std::int64_t>(ticks, INT32_MIN, INT32_MAX));
    }
}

void LinkWatchdog::tick()
{
    if (m_settings.PingEnabled == 0 || passPending())
        return;
    if (++m_tickCount < periodTicks(m_settings.PingFrequency))
        return;
    m_tickCount = 0;
    startPass();
}

void LinkWatchdog::restart()
{
    for (const int requestId : std::as_const(m_pending)) {
        if (requestId > 0)
            m_service.echo.cancel(requestId);
    }
    m_pending.clear();
    m_tickCount = 0;
}

void LinkWatchdog::startPass()
{
    for (const int index : m_links.connectedSockets(false)) {
        const int token = ++m_lastToken;
        const Target target{index, m_links.connection(index)};
        m_pending.insert(token, 0);
        const int requestId = tools::pingAddress(
            m_service.echo, m_links.socket(index).remoteHostIP(), m_settings.PingTimeout,
            [this, token, target](const tools::EchoReply &reply) { onReply(token, target, reply); });
        // An address that cannot be pinged is answered before the call returns.
        if (m_pending.contains(token))
            m_pending[token] = requestId;
    }
}

void LinkWatchdog::onReply(int token, Target target, const tools::EchoReply &reply)
{
    // Ticks are not counted while the pass waits, so the next period runs
    // from the end of this one.
    m_pending.remove(token);
    if (reply.Status == tools::kStatusSuccess)
        return;
    if (reply.Status == kStatusGeneralFailure && !reply.Failure.isEmpty()) {
        // This machine cannot ping at all: no peer is to blame.
        if (!m_service.unavailableLogged) {
            m_service.unavailableLogged = true;
            m_actions.log(QStringLiteral("Ping unavailable - connections are not checked: ") + reply.Failure);
        }
        return;
    }
    // The socket may have been closed, or taken by another client, while
    // the echo waited.
    if (!m_links.isConnected(target.index) || m_links.connection(target.index) != target.connection)
        return;
    const QString result = QStringLiteral("Ping Failed - Ping Result = ") + tools::echoStatusText(reply.Status);
    m_actions.close(target.index, result);
    m_actions.log(result);
}

} // namespace pvx::session
