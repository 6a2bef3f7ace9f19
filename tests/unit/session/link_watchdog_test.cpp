// The link watch: when a quiet link is pinged, and what a failed ping ends.
#include "bridge_fixture.h"

#include <gtest/gtest.h>

using pvx::testing::BridgeFixture;
using pvx::testing::s;
using Role = BridgeFixture::Role;

namespace {

constexpr int kTimedOut = 11010;

pvx::platform::EchoReply replyWith(int status, const QString &failure = {})
{
    pvx::platform::EchoReply reply;
    reply.status = status;
    reply.failure = failure;
    return reply;
}

/// An active server with pings on, every 91 ticks, and `clients` connected
/// from 198.51.100.1 up.
struct WatchedServer : BridgeFixture {
    explicit WatchedServer(int clients, Role role = Role::Server, bool udp = false)
        : BridgeFixture(role, Side::RealPort, udp)
    {
        settings.PingEnabled = 1;
        settings.PingFrequency = 2;
        activate();
        if (role == Role::Client)
            connectToServer();
        for (int i = 1; i <= clients; ++i)
            connectClient(QStringLiteral("198.51.100.%1").arg(i).toLatin1().constData());
    }

    /// The request ids of the echoes waiting, by the address pinged.
    QMap<QString, int> waiting() const
    {
        QMap<QString, int> ids;
        for (auto it = echo.pending.cbegin(); it != echo.pending.cend(); ++it)
            ids.insert(it->address, it.key());
        return ids;
    }

    void answer(const char *address, int status, const QString &failure = {})
    {
        echo.answer(waiting().value(s(address)), replyWith(status, failure));
    }

    /// Log lines that report `text` itself (not as a status's reason).
    int logLines(const char *text) { return static_cast<int>(logText().count(s("Porvix Error: ") + s(text))); }
    /// The reason shown with the network status.
    QString reason() { return window().statusLine(pvx::testing::kNetworkLine).toolTip(); }
};

} // namespace

TEST(LinkWatchdog, PingsAQuietLinkOncePerPeriod)
{
    const struct {
        int frequency;
        int ticks;
    } cases[] = {{0, 9}, {1, 18}, {2, 91}, {3, 182}, {13, 1092}, {-1, 1}};
    for (const auto &c : cases) {
        WatchedServer f(1);
        f.settings.PingFrequency = c.frequency;
        f.settings.PingTimeout = 4;
        f.tick(c.ticks - 1);
        EXPECT_TRUE(f.echo.pending.isEmpty()) << c.frequency;
        f.tick();
        ASSERT_EQ(f.echo.pending.size(), 1) << c.frequency;
        const auto &request = f.echo.pending.first();
        EXPECT_EQ(request.address, s("198.51.100.1"));
        EXPECT_EQ(request.data, QByteArray("Hello"));
        EXPECT_EQ(request.timeoutMs, 500);
        // The next period runs from the answer.
        f.answer("198.51.100.1", 0);
        f.tick(c.ticks - 1);
        EXPECT_TRUE(f.echo.pending.isEmpty()) << c.frequency;
        f.tick();
        EXPECT_EQ(f.echo.pending.size(), 1) << c.frequency;
    }
}

TEST(LinkWatchdog, QuietMeansNoDataInEitherDirection)
{
    const struct {
        const char *name;
        std::function<void(WatchedServer &)> during;
        int ticksToPing;
    } cases[] = {
        {"data arrives", [](WatchedServer &f) { f.socket(1).arrive("x"); }, 91 + 50},
        {"the button is pressed twice",
         [](WatchedServer &f) {
             f.session->toggleActive();
             f.session->toggleActive();
             f.connectClient("198.51.100.1");
         },
         91 + 50},
        {"serial data waits for its time-out",
         [](WatchedServer &f) {
             f.window().timeoutValue.setText(s("1000"));
             f.session->packetizer().queue().append("tail");
         },
         91 + 20 + 1},
        {"nothing", [](WatchedServer &) {}, 91},
    };
    for (const auto &c : cases) {
        WatchedServer f(1);
        f.tick(50);
        c.during(f);
        f.tick(c.ticksToPing - 51);
        EXPECT_TRUE(f.echo.pending.isEmpty()) << c.name;
        f.tick();
        EXPECT_EQ(f.echo.pending.size(), 1) << c.name;
    }
}

TEST(LinkWatchdog, StaysIdleWhenItHasNothingToWatch)
{
    const struct {
        const char *name;
        bool udp;
        int enabled;
        bool active;
    } cases[] = {
        {"UDP", true, 1, true},
        {"pings off", false, 0, true},
        {"inactive", false, 1, false},
    };
    for (const auto &c : cases) {
        WatchedServer f(c.udp ? 0 : 1, Role::Server, c.udp);
        f.settings.PingEnabled = c.enabled;
        if (!c.active)
            f.session->toggleActive();
        f.tick(500);
        EXPECT_TRUE(f.echo.pending.isEmpty()) << c.name;
    }
}

TEST(LinkWatchdog, AFailedPingEndsThatConnectionAlone)
{
    WatchedServer f(2);
    f.tick(91);
    ASSERT_EQ(f.waiting().keys(), (QStringList{s("198.51.100.1"), s("198.51.100.2")}));

    f.answer("198.51.100.1", kTimedOut);
    EXPECT_EQ(f.socket(1).state(), pvx::platform::kSocketClosed);
    EXPECT_EQ(f.status(pvx::testing::kNetworkLine), s("TCP/IP Status: (1)Connected"));
    EXPECT_EQ(f.reason(), s("Ping Failed - Ping Result = 11010   [IP Request Timed Out]"));
    EXPECT_EQ(f.logLines("Ping Failed - Ping Result = 11010   [IP Request Timed Out]"), 1);

    f.answer("198.51.100.2", 0);
    EXPECT_EQ(f.socket(2).state(), pvx::platform::kSocketConnected);
    EXPECT_EQ(f.logLines("Ping Failed"), 1);
}

TEST(LinkWatchdog, AClientConnectionThatFailsIsMadeAgain)
{
    WatchedServer f(0, Role::Client);
    f.socket(0).peerAddress = s("192.0.2.1");
    f.tick(91);
    f.answer("192.0.2.1", 11003);
    EXPECT_EQ(f.socket(0).state(), pvx::platform::kSocketClosed);
    EXPECT_TRUE(f.reconnectTimer().isActive());
    EXPECT_EQ(f.status(pvx::testing::kNetworkLine), s("TCP/IP Status: Closed"));
    EXPECT_EQ(f.reason(), s("Ping Failed - Ping Result = 11003   [IP Dest Host Unreachable]"));
}

TEST(LinkWatchdog, AnAddressThatCannotBePingedFailsAtOnce)
{
    WatchedServer f(1);
    f.socket(1).peerAddress = s("not.an.address");
    f.tick(91);
    EXPECT_TRUE(f.echo.pending.isEmpty());
    EXPECT_EQ(f.socket(1).state(), pvx::platform::kSocketClosed);
    EXPECT_EQ(f.logLines("Ping Failed - Ping Result = -1   [Bad IP Format]"), 1);
    EXPECT_FALSE(f.tcp().watchdog().passPending());
}

TEST(LinkWatchdog, ALateAnswerIsForTheConnectionThatWasPinged)
{
    const struct {
        const char *name;
        std::function<void(WatchedServer &)> meanwhile;
    } cases[] = {
        {"a new client took the socket",
         [](WatchedServer &f) {
             f.socket(1).peerCloses();
             f.tick();
             ASSERT_EQ(f.connectClient("203.0.113.5"), 1);
         }},
        {"the client left", [](WatchedServer &f) { f.socket(1).peerCloses(); }},
    };
    for (const auto &c : cases) {
        WatchedServer f(1);
        f.tick(91);
        c.meanwhile(f);
        const QString before = f.logText();
        const int state = f.socket(1).state();
        f.answer("198.51.100.1", kTimedOut);
        EXPECT_EQ(f.socket(1).state(), state) << c.name;
        EXPECT_FALSE(f.logText().mid(before.size()).contains(s("Ping Failed"))) << c.name;
    }
}

TEST(LinkWatchdog, OnePassAtATime)
{
    WatchedServer f(1);
    f.tick(91);
    f.tick(500);
    EXPECT_EQ(f.echo.pending.size(), 1);
    // Switching the session off drops the pass; nothing is left waiting.
    f.session->toggleActive();
    EXPECT_TRUE(f.echo.pending.isEmpty());
    EXPECT_FALSE(f.tcp().watchdog().passPending());
}

TEST(LinkWatchdog, AMachineThatCannotPingClosesNothingAndSaysSoOnce)
{
    WatchedServer f(2);
    for (int pass = 0; pass < 2; ++pass) {
        f.tick(91);
        f.answer("198.51.100.1", 11050, s("no permission to open an ICMP socket"));
        f.answer("198.51.100.2", 11050, s("no permission to open an ICMP socket"));
    }
    EXPECT_EQ(f.socket(1).state(), pvx::platform::kSocketConnected);
    EXPECT_EQ(f.socket(2).state(), pvx::platform::kSocketConnected);
    EXPECT_EQ(f.logLines("Ping unavailable - connections are not checked: no permission to open an ICMP socket"), 1);
    EXPECT_EQ(f.logLines("Ping Failed"), 0);

    // A general failure that did reach the network is the peer's.
    f.tick(91);
    f.answer("198.51.100.1", 11050);
    EXPECT_EQ(f.socket(1).state(), pvx::platform::kSocketClosed);
    EXPECT_EQ(f.logLines("Ping Failed - Ping Result = 11050   [IP General Failure]"), 1);
}
