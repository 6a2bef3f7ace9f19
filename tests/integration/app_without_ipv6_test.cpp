// The real program in a network namespace of its own where IPv6 is turned
// off: a server that listens on every address still takes IPv4 clients, and
// one bound to an IPv6 address fails with the system's reason.
#include "forked_peer.h"
#include "support/porvix_process.h"
#include "support/text.h"
#include "support/wait_until.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>

#include <string>

using namespace pvx::testing;
namespace peer = pvx::test::peer;

namespace {

/// Makes a fresh network namespace, turns IPv6 off in it and brings its
/// loopback up, then runs what follows on the command line there.
const QStringList kWithoutIpv6 = {
    s("unshare"), s("-n"), s("sh"), s("-c"),
    s("sysctl -qw net.ipv6.conf.all.disable_ipv6=1 && ip link set lo up && exec \"$0\" \"$@\"")};

/// Why such a namespace cannot be made here; empty when it can.
QString namespaceUnavailable()
{
    QProcess probe;
    probe.start(kWithoutIpv6.first(), kWithoutIpv6.mid(1) + QStringList{s("true")});
    if (!probe.waitForFinished(kStopMs))
        return s("unshare could not be run: ") + probe.errorString();
    if (probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        return s("no network namespace without IPv6: ") + QString::fromLocal8Bit(probe.readAllStandardError()).trimmed();
    return {};
}

/// In the namespace of process `pid`, an IPv4 client of 127.0.0.1:`port`
/// that sends "ping" and expects "pong"; 0 when it got it.
int pingOverIpv4(const char *namespacePath, quint16 port)
{
    const int space = ::open(namespacePath, O_RDONLY | O_CLOEXEC);
    if (space < 0 || ::setns(space, CLONE_NEWNET) != 0)
        return 2;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr *>(&server), sizeof server) != 0)
        return 3;
    char answer[4];
    if (!peer::writeAll(fd, "ping", 4) || !peer::readExactly(fd, answer, 4))
        return 4;
    return peer::sameBytes(answer, "pong", 4) ? 0 : 5;
}

} // namespace

TEST(AppWithoutIpv6, AnyAddressServesIpv4AndAnIpv6AddressFailsWithTheSystemsReason)
{
    if (const QString why = namespaceUnavailable(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    QTemporaryDir root;
    const QString home = root.filePath(s("home"));
    const QString ports = root.filePath(s("ports"));
    ASSERT_TRUE(QDir().mkpath(home));
    // The namespace is the program's alone: every port in it is free.
    constexpr quint16 kAnyPort = 4001;
    constexpr quint16 kIpv6Port = 4002;
    writeFile(home + s("/default.pvx"),
              QStringLiteral("[Porvix]\r\nNumSessions=2\r\nVirtualPortDir=%1\r\n"
                             "[Session1]\r\nConnector=4\r\nCreateVirtualPort=1\r\nTCPOption=1\r\nLocalIP=\r\n"
                             "PortNumber=%2\r\nAutoActivate=1\r\nSessionDescription=Any\r\n"
                             "[Session2]\r\nConnector=5\r\nCreateVirtualPort=1\r\nTCPOption=1\r\nLocalIP=::1\r\n"
                             "PortNumber=%3\r\nAutoActivate=1\r\nSessionDescription=Six\r\n")
                  .arg(ports)
                  .arg(kAnyPort)
                  .arg(kIpv6Port)
                  .toUtf8());

    Porvix run({s("--headless"), s("--home"), home}, {.runner = kWithoutIpv6});
    ASSERT_TRUE(run.started());
    QString said;
    const QString failed = s("porvix: Six: TCP/IP Status: Error - Address not available on this computer ([::1]:%1)\n")
                               .arg(kIpv6Port);
    ASSERT_TRUE(waitUntil([&] {
        said += run.errors();
        return said.contains(s("porvix: Any: TCP/IP Status: Listening...\n")) && said.contains(failed);
    }, kStart)) << said.toStdString();

    PortUser user(ports + s("/COM4"));
    ASSERT_TRUE(user.ok());
    const std::string namespacePath = "/proc/" + std::to_string(run.pid()) + "/ns/net";
    pvx::test::ForkedPeer client([&] { return pingOverIpv4(namespacePath.c_str(), kAnyPort); });
    ASSERT_TRUE(client.started());
    QByteArray received;
    ASSERT_TRUE(waitUntil([&] { received += user.read(); return received.size() >= 4; }, kData));
    EXPECT_EQ(received, QByteArray("ping"));
    ASSERT_TRUE(user.write("pong"));
    EXPECT_EQ(client.wait(), 0) << "2: no namespace, 3: not connected, 4: no answer, 5: a wrong one";

    run.signal(SIGTERM);
    EXPECT_EQ(run.finish(), 0) << run.errors().toStdString();
}
