// The real program's trace file: known bytes both ways through a session
// with a trace file, the file read back, and the switch to another file by a
// command while the session runs.
#include "support/porvix_process.h"
#include "support/text.h"
#include "support/wait_until.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/stat.h>

using namespace pvx::testing;

namespace {

/// The bytes of every data record of one direction ("serial->network" or
/// "network->serial"), read back from their hex lines.
QByteArray tracedBytes(const QByteArray &trace, const char *direction)
{
    static const QRegularExpression header(s(R"(^\S+ \S+ \[COM7\] (\S+) (\d+) bytes (to|from) )"));
    static const QRegularExpression hexLine(s(R"(^  [0-9a-f]{8} ((?: {1,2}[0-9a-f]{2})+) )"));
    QByteArray bytes;
    bool inDirection = false;
    for (const QByteArray &line : trace.split('\n')) {
        const QString text = QString::fromLatin1(line);
        if (const auto found = header.match(text); found.hasMatch()) {
            inDirection = found.captured(1) == QLatin1String(direction);
            continue;
        }
        if (const auto found = hexLine.match(text); found.hasMatch() && inDirection)
            bytes += QByteArray::fromHex(found.captured(1).toLatin1());
        else if (!text.startsWith(QLatin1String("  ")))
            inDirection = false;
    }
    return bytes;
}

QByteArray moveBytes(QTcpSocket &network, PortUser &serial, const QByteArray &toNetwork, const QByteArray &toSerial)
{
    EXPECT_TRUE(serial.write(toNetwork));
    QByteArray received;
    EXPECT_TRUE(waitUntil([&] {
        received += network.readAll();
        return received.size() >= toNetwork.size();
    }, kData));
    network.write(toSerial);
    QByteArray written;
    EXPECT_TRUE(waitUntil([&] {
        written += serial.read();
        return written.size() >= toSerial.size();
    }, kData));
    return received + written;
}

} // namespace

TEST(AppTraceFile, TheFileShowsTheBytesBothWaysAndACommandSwitchesIt)
{
    QTemporaryDir root;
    const QString home = root.filePath(s("home"));
    const QString ports = root.filePath(s("ports"));
    ASSERT_TRUE(QDir().mkpath(home));
    QTcpServer peer;
    ASSERT_TRUE(peer.listen(QHostAddress::LocalHost, 0));
    writeFile(home + s("/default.pvx"),
              clientConfiguration(ports, 7, peer.serverPort()) + "TraceFile=traces/first.txt\r\n");
    ASSERT_TRUE(QDir().mkpath(home + s("/traces")));

    Porvix run({s("--home"), home});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(waitUntil([&] { return peer.hasPendingConnections(); }, kStart)) << run.errors().toStdString();
    QTcpSocket *connection = peer.nextPendingConnection();
    PortUser user(ports + s("/COM7"));
    ASSERT_TRUE(user.ok());

    QByteArray toNetwork;
    QByteArray toSerial;
    for (int i = 0; i < 300; ++i) {
        toNetwork += static_cast<char>(i);
        toSerial += static_cast<char>(255 - i % 256);
    }
    EXPECT_EQ(moveBytes(*connection, user, toNetwork, toSerial), toNetwork + toSerial);

    const Finished switched = runPorvix({s("--home"), home, s("--send"), s("COM7"), s("[TRACE=traces/second.txt]")});
    EXPECT_EQ(switched.output, s("ACK\n")) << switched.errors.toStdString();
    EXPECT_EQ(moveBytes(*connection, user, "after", "switch"), QByteArray("afterswitch"));

    run.signal(SIGTERM);
    EXPECT_EQ(run.finish(), 0) << run.errors().toStdString();

    const QByteArray first = readFile(home + s("/traces/first.txt"));
    EXPECT_EQ(tracedBytes(first, "serial->network"), toNetwork) << first.constData();
    EXPECT_EQ(tracedBytes(first, "network->serial"), toSerial);
    const QByteArray second = readFile(home + s("/traces/second.txt"));
    EXPECT_EQ(tracedBytes(second, "serial->network"), QByteArray("after")) << second.constData();
    EXPECT_EQ(tracedBytes(second, "network->serial"), QByteArray("switch"));
    EXPECT_FALSE(second.contains("not traced"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(home + s("/traces/second.txt")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const QByteArray saved = readFile(home + s("/default.pvx"));
    EXPECT_TRUE(saved.contains("\r\nTraceFile=traces/second.txt\r\n")) << saved.constData();
}
