#include "session/tcp_server_side.h"

#include "session/virtual_port_side.h"
#include "side_fixture.h"

#include <gtest/gtest.h>

using pvx::platform::ErrorCode;
using pvx::platform::makeError;
using pvx::session::StatusLine;
using pvx::testing::s;

namespace {

struct ServerSideTest : pvx::testing::SideFixture {
    ServerSideTest()
    {
        network = &side;
        window.localAddress.setText(s("192.0.2.5"));
    }
    QString networkStatus() const { return status(StatusLine::Network); }

    pvx::session::VirtualPortSide serial{virtualPort, serialContext()};
    pvx::session::TcpServerSide side{networkContext(serial), pings};
};

const QString kListening = s("TCP/IP Status: Listening...");

} // namespace

TEST(TcpServerSide, StartListensOnTheLocalAddressOrReturnsTheRefusal)
{
    const struct {
        const char *name;
        bool bindRefused;
        bool listenRefused;
        int listens;
    } cases[] = {
        {"listening", false, false, 1},
        {"bind refused", true, false, 0},
        {"listen refused", false, true, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ServerSideTest f;
        const QString before = f.networkStatus();
        if (c.bindRefused)
            f.socket(0).bindError = makeError(ErrorCode::AddressInUse, s("Address in use"));
        if (c.listenRefused)
            f.socket(0).listenError = makeError(ErrorCode::IoError, s("Cannot listen"));
        const bool refused = c.bindRefused || c.listenRefused;
        EXPECT_EQ(f.side.start(5000).ok(), !refused);
        EXPECT_EQ(f.socket(0).boundPort, 5000);
        EXPECT_EQ(f.socket(0).boundAddress, s("192.0.2.5"));
        EXPECT_EQ(f.socket(0).listenCalls, c.listens);
        EXPECT_EQ(f.networkStatus(), refused ? before : kListening) << "the session shows the refusal";
    }
}

TEST(TcpServerSide, ReusesTheLowestClosedSocketAndCountsClients)
{
    ServerSideTest f;
    ASSERT_TRUE(f.side.start(5000));
    EXPECT_EQ(f.connectClient(), 1);
    EXPECT_EQ(f.connectClient(), 2);
    EXPECT_EQ(f.connectClient(), 3);
    EXPECT_EQ(f.networkStatus(), s("TCP/IP Status: (3)Connected"));
    EXPECT_EQ(f.socket(2).localPort(), 5000);
    EXPECT_EQ(f.events.count(s("wake pump")), 3) << "the link watch counts each new connection";

    f.socket(2).peerCloses();
    EXPECT_EQ(f.socket(2).state(), pvx::platform::kSocketClosed);
    EXPECT_EQ(f.networkStatus(), s("TCP/IP Status: (2)Connected"));
    EXPECT_EQ(f.connectClient(), 2);
    EXPECT_EQ(f.links.maxSocketIndex(), 3);
    EXPECT_EQ(f.networkStatus(), s("TCP/IP Status: (3)Connected"));

    for (const int i : {1, 2, 3})
        f.socket(i).peerCloses();
    EXPECT_EQ(f.networkStatus(), kListening);
    EXPECT_EQ(f.side.clientCount(), 0);
    EXPECT_EQ(f.connectClient(), 1);
}

TEST(TcpServerSide, OneClientAtATimeWithoutMultiConnect)
{
    ServerSideTest f;
    f.window.options.AllowMultiConnect = 0;
    ASSERT_TRUE(f.side.start(5000));
    EXPECT_EQ(f.connectClient(), 1);
    EXPECT_EQ(f.connectClient(), -1);
    EXPECT_EQ(f.side.clientCount(), 1);
    EXPECT_EQ(f.networkStatus(), s("TCP/IP Status: (1)Connected"));
    f.socket(1).peerCloses();
    EXPECT_EQ(f.connectClient(), 1);

    // A client whose last bytes still wait no longer holds the place.
    f.toSerial.append(QByteArray(f.toSerial.capacity(), 'x'));
    f.socket(1).arrive("waits");
    f.socket(1).peerCloses();
    EXPECT_NE(f.socket(1).state(), pvx::platform::kSocketClosed);
    EXPECT_EQ(f.connectClient(), 2);
}

TEST(TcpServerSide, AnErrorOnTheListenerLeavesTheClientsAlone)
{
    ServerSideTest f;
    ASSERT_TRUE(f.side.start(5000));
    f.connectClient();
    f.connectClient();

    f.socket(0).events.error(10050, s("Accepting clients failed: Invalid argument"));
    const QString failed = s("TCP/IP Status: Error - Accepting clients failed: Invalid argument");
    EXPECT_EQ(f.networkStatus(), failed);
    EXPECT_EQ(f.socket(0).state(), pvx::platform::kSocketClosed);
    EXPECT_EQ(f.side.clientCount(), 2);
    EXPECT_EQ(f.socket(1).state(), pvx::platform::kSocketConnected);
    EXPECT_EQ(f.errorBoxes, QStringList{s("Accepting clients failed: Invalid argument")});

    // Clients come and go under the error, which stays until started again.
    f.socket(1).peerCloses();
    EXPECT_EQ(f.side.clientCount(), 1);
    EXPECT_EQ(f.networkStatus(), failed);
    f.links.closeAll();
    ASSERT_TRUE(f.side.start(5000));
    EXPECT_EQ(f.networkStatus(), kListening);
}

TEST(TcpServerSide, TheFirstClientIsTheLowestConnectedSocket)
{
    ServerSideTest f;
    f.window.options.ServerTCPOptions = 2;
    ASSERT_TRUE(f.side.start(5000));
    f.connectClient();
    f.connectClient();
    f.socket(1).peerCloses();
    f.socket(2).arrive("second ");
    f.connectClient();  // takes socket 1 again and becomes the first
    f.socket(2).arrive("dropped");
    f.socket(1).arrive("new first");
    qint32 all = -1;
    EXPECT_EQ(f.toSerial.take(all), QByteArray("second new first"));
    EXPECT_TRUE(f.socket(2).incoming.isEmpty()) << "dropped input is read all the same";
}

TEST(TcpServerSide, AcceptsOnlyTheAddressesAllowedAndLogsRefusalsOnce)
{
    ServerSideTest f;
    f.window.options.AllowFrom = s("192.0.2.0/24 ::1 bad/entry");
    EXPECT_EQ(f.side.start(5000).error().detail,
              s("AllowFrom holds something that is neither an address nor a range: bad/entry"));
    EXPECT_EQ(f.socket(0).listenCalls, 0) << "nothing listens with a bad list";

    f.window.options.AllowFrom = s("192.0.2.0/24 ::1");
    ASSERT_TRUE(f.side.start(5000));
    const int events = static_cast<int>(f.events.size());
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int refused = f.sockets.connectClient(200 + attempt, s("198.51.100.9"));
        ASSERT_GT(refused, 0);
        EXPECT_EQ(f.socket(refused).state(), pvx::platform::kSocketClosed);
    }
    EXPECT_EQ(f.side.clientCount(), 0);
    EXPECT_EQ(f.networkStatus(), kListening);
    EXPECT_EQ(f.events.size(), events) << "a refused connection starts nothing";
    EXPECT_EQ(f.logged.filter(s("Refused")), QStringList{s("Refused 198.51.100.9: not in AllowFrom")});

    for (const char *allowed : {"192.0.2.200", "::1"})
        EXPECT_EQ(f.socket(f.sockets.connectClient(300, s(allowed))).state(), pvx::platform::kSocketConnected) << allowed;
    EXPECT_EQ(f.side.clientCount(), 2);
}

TEST(TcpServerSide, ATlsClientCountsOnceItsHandshakeHasFinishedAndAFailedOneLeavesNoTrace)
{
    ServerSideTest f;
    f.window.options.Tls = 1;
    f.window.options.TlsCertificate = s("server.pem");
    f.window.options.TlsKey = s("server.key");
    f.sockets.tlsError = makeError(ErrorCode::InvalidArgument, s("TLS key server.key is readable by others"));
    EXPECT_EQ(f.side.start(5000).error().detail, s("TLS key server.key is readable by others"));
    EXPECT_EQ(f.socket(0).listenCalls, 0) << "nothing listens with a bad set-up";

    f.sockets.tlsError.reset();
    ASSERT_TRUE(f.side.start(5000));
    ASSERT_EQ(f.sockets.tlsLoads.size(), 2);
    EXPECT_EQ(f.sockets.tlsLoads.last().role, pvx::platform::TlsRole::Server);
    EXPECT_EQ(f.sockets.tlsLoads.last().keyFile, s("server.key"));

    const int first = f.sockets.connectClient(1, s("198.51.100.9"));
    EXPECT_EQ(f.side.clientCount(), 0) << "counted before its handshake";
    EXPECT_EQ(f.networkStatus(), kListening);
    f.socket(first).finishHandshake();
    EXPECT_EQ(f.side.clientCount(), 1);
    EXPECT_EQ(f.networkStatus(), s("TCP/IP Status: (1)Connected"));

    for (int attempt = 0; attempt < 3; ++attempt) {
        const int failing = f.sockets.connectClient(10 + attempt, s("203.0.113.7"));
        f.socket(failing).finishHandshake(s("the peer does not speak TLS"));
        EXPECT_EQ(f.socket(failing).state(), pvx::platform::kSocketClosed);
    }
    EXPECT_EQ(f.side.clientCount(), 1);
    EXPECT_EQ(f.networkStatus(), s("TCP/IP Status: (1)Connected"));
    EXPECT_EQ(f.logged, QStringList{s("TLS handshake with 203.0.113.7 failed: the peer does not speak TLS")})
        << "logged once a minute per address";
    EXPECT_TRUE(f.errorBoxes.isEmpty());
    EXPECT_EQ(f.side.refusedPeers(), 3);

    // Without multi-connect two handshakes may run at once; the first to
    // finish is the client.
    ServerSideTest g;
    g.window.options.Tls = 1;
    g.window.options.AllowMultiConnect = 0;
    ASSERT_TRUE(g.side.start(5000));
    const int a = g.sockets.connectClient(1, s("198.51.100.9"));
    const int b = g.sockets.connectClient(2, s("198.51.100.10"));
    g.socket(b).finishHandshake();
    g.socket(a).finishHandshake();
    EXPECT_EQ(g.side.clientCount(), 1);
    EXPECT_EQ(g.socket(a).state(), pvx::platform::kSocketClosed);
    EXPECT_EQ(g.socket(b).state(), pvx::platform::kSocketConnected);
}
