// The command channel on a real local socket, with a test handler: framing,
// clients that misbehave, and who may take the socket's path.
#include "platform/linux/local_command_channel.h"

#include "platform/linux/command_client.h"

#include "support/local_client.h"
#include "support/text.h"
#include "support/wait_until.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

using namespace std::chrono_literals;
using pvx::platform::CommandReply;
using pvx::platform::ErrorCode;
using pvx::platform::LocalCommandChannel;
using pvx::platform::sendCommand;
using pvx::testing::LocalClient;
using pvx::testing::s;

namespace {

/// A feed that counts how many are alive.
struct CountedFeed final : pvx::platform::CommandStreamFeed {
    explicit CountedFeed(int &count) : alive(count) { ++alive; }
    ~CountedFeed() override { --alive; }
    int &alive;
};

/// A channel on a socket in a fresh folder, whose handler accepts "ok",
/// answers the topic "data" with two data lines, turns the topic "stream"
/// into a stream the test feeds, refuses everything else and records every
/// request.
class CommandChannelTest : public ::testing::Test {
protected:
    void listen(pvx::platform::CommandTimeouts timeouts = {}, int maxConnections = LocalCommandChannel::kMaxConnections)
    {
        channel = std::make_unique<LocalCommandChannel>(path, timeouts, maxConnections);
        const auto listening = channel->listen([this](const QString &topic, const QString &command) {
            requests.append(topic + QLatin1Char('|') + command);
            if (topic == QLatin1String("data"))
                return CommandReply{true, {s("one"), s("two\nlines")}};
            if (topic == QLatin1String("stream")) {
                return CommandReply{.accepted = true, .data = {}, .stream = [this](pvx::platform::CommandStream &to) {
                                        stream = &to;
                                        return std::make_unique<CountedFeed>(feeds);
                                    }};
            }
            return CommandReply{command == QLatin1String("ok"), {}};
        });
        ASSERT_TRUE(listening.ok()) << listening.error().detail.toStdString();
    }

    /// One request on a new connection; the reply, complete or not.
    QByteArray ask(const QByteArray &request, int lines = 1)
    {
        LocalClient client(path);
        EXPECT_TRUE(client.connected());
        client.send(request);
        return client.readLines(lines);
    }

    QTemporaryDir folder;
    QString path = folder.filePath(s("control.sock"));
    std::unique_ptr<LocalCommandChannel> channel;
    QStringList requests;
    // The last stream begun, and how many feeds are alive.
    pvx::platform::CommandStream *stream = nullptr;
    int feeds = 0;
};

} // namespace

TEST_F(CommandChannelTest, AnswersEachLineWithDataAndOneFinalWord)
{
    listen();
    struct Case {
        const char *name;
        QByteArray request;
        QByteArray reply;
    };
    const Case cases[] = {
        {"accepted", "System\tok\n", "ACK\n"},
        {"CR LF", "System\tok\r\n", "ACK\n"},
        {"refused", "System\t[NOPE]\n", "NAK\n"},
        {"no tab", "System ok\n", "NAK\n"},
        {"empty line", "\n", "NAK\n"},
        {"not UTF-8", "Sys\xff\xfetem\tok\n", "NAK\n"},
        {"data lines stay lines", "data\tx\n", "\tone\n\ttwo lines\nACK\n"},
        {"several on one connection", "a\tok\nb\tno\ndata\tok\r\nc\tok\n", "ACK\nNAK\n\tone\n\ttwo lines\nACK\nACK\n"},
        // All of them read at once, their replies past what may wait unread.
        {"a burst of requests", QByteArray("data\tx\n").repeated(1000),
         QByteArray("\tone\n\ttwo lines\nACK\n").repeated(1000)},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ask(c.request, int(c.reply.count('\n'))), c.reply) << c.name;

    requests.clear();
    EXPECT_EQ(ask("Zürich\tgo on\tand on\n"), QByteArray("NAK\n"));
    EXPECT_EQ(requests, QStringList{s("Zürich|go on\tand on")}) << "the first tab splits, UTF-8 decoded";

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    channel.reset();
    EXPECT_FALSE(QFile::exists(path)) << "the socket file goes with the channel";
}

TEST_F(CommandChannelTest, EndsConnectionsThatBreakTheFramingOrStallAndIdleOnesLater)
{
    listen({.stall = 300ms, .idle = 1500ms});
    // Over 4 KiB without an end, or with one: refused, and the connection ends.
    for (const QByteArray &tooLong : {QByteArray(5000, 'x'), QByteArray(4500, 'y') + "\tok\n"}) {
        LocalClient client(path);
        client.send(tooLong);
        EXPECT_TRUE(client.closedByPeer());
        EXPECT_EQ(client.received(), QByteArray("NAK\n"));
    }

    // A request that never ends is dropped unanswered after the stall time;
    // one that waits between complete requests is not.
    LocalClient unfinished(path);
    LocalClient idle(path);
    EXPECT_EQ(idle.send("a\tok\n"), 5);
    EXPECT_EQ(idle.readLines(1), QByteArray("ACK\n"));
    unfinished.send("System\t[APP");
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(unfinished.closedByPeer(5s));
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_EQ(unfinished.received(), QByteArray());
    runEventsFor(500ms);
    idle.send("b\tok\n");
    EXPECT_EQ(idle.readLines(2), QByteArray("ACK\nACK\n"));
    // Past the idle time with nothing owed either way, it goes too.
    clock.restart();
    EXPECT_TRUE(idle.closedByPeer(10s));
    EXPECT_GE(clock.elapsed(), 1000);

    // A client that shuts its side still gets the answers it asked for; what
    // it left unfinished is dropped.
    LocalClient halfClosed(path);
    halfClosed.send("a\tok\nb\tno\nc\tun");
    halfClosed.shutdownSending();
    EXPECT_TRUE(halfClosed.closedByPeer());
    EXPECT_EQ(halfClosed.received(), QByteArray("ACK\nNAK\n"));
}

TEST_F(CommandChannelTest, ManyAndMisbehavingClientsNeverHoldIt)
{
    listen({.stall = 1s});
    std::vector<std::unique_ptr<LocalClient>> crowd;
    for (int i = 0; i < 200; ++i) {
        crowd.push_back(std::make_unique<LocalClient>(path));
        ASSERT_TRUE(crowd.back()->connected()) << i;
        crowd.back()->send(i % 2 ? "a\tok\n" : "a\tno\n");
    }
    for (std::size_t i = 0; i < crowd.size(); ++i)
        EXPECT_EQ(crowd[i]->readLines(1), QByteArray(i % 2 ? "ACK\n" : "NAK\n")) << i;

    // Clients that go away mid-request, right after one, or with binary junk.
    for (const QByteArray &parting : {QByteArray("System\t[ACT"), QByteArray("data\tx\n"), QByteArray("\0\x01\x02\n\xff", 5)}) {
        for (int i = 0; i < 20; ++i) {
            LocalClient gone(path);
            gone.send(parting);
        }
    }

    // One that sends requests without ever reading its replies.
    LocalClient deaf(path);
    const QByteArray flood = QByteArray("data\tx\n").repeated(4096);
    qsizetype sent = 0;
    for (int i = 0; i < 200; ++i) {
        sent += deaf.send(flood);
        runEventsFor(5ms);
    }
    ASSERT_GT(sent, 0);

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(ask("a\tok\n"), QByteArray("ACK\n"));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(deaf.closedByPeer(10s)) << "a client that does not read is dropped";
}

TEST_F(CommandChannelTest, AStreamGoesOnUntilTheClientGoesAndNeverHoldsMoreThanItsBound)
{
    using pvx::platform::CommandStream;
    listen({.stall = 300ms, .idle = 300ms});
    // Quiet past the idle time, further requests ignored; the client leaving ends it.
    {
        LocalClient watcher(path);
        watcher.send("stream\tgo\nSystem\tok\n");
        ASSERT_EQ(watcher.readLines(1), QByteArray("ACK\n"));
        ASSERT_EQ(feeds, 1);
        runEventsFor(700ms);
        EXPECT_TRUE(stream->send("one\n"));
        EXPECT_EQ(watcher.readLines(2), QByteArray("ACK\none\n"));
    }
    EXPECT_TRUE(waitUntil([&] { return feeds == 0; }, 5s));
    EXPECT_EQ(requests, QStringList{s("stream|go")});

    // One that does not read: refused past the bound, the end still goes
    // after what waits, and it all arrives once the client reads.
    LocalClient slow(path);
    slow.send("stream\tgo\n");
    ASSERT_TRUE(waitUntil([&] { return feeds == 1; }, 5s));
    const QByteArray chunk(64 * 1024, 'x');
    qsizetype accepted = 0;
    while (accepted < 64 * CommandStream::kMaxUnsent && stream->send(chunk)) {
        accepted += chunk.size();
        runEventsFor(1ms);
    }
    EXPECT_GE(accepted, CommandStream::kMaxUnsent);
    EXPECT_LT(accepted, 4 * CommandStream::kMaxUnsent) << "what the socket holds, and no more";
    stream->end("last\n");
    EXPECT_FALSE(stream->send("after\n"));
    EXPECT_TRUE(slow.closedByPeer());
    EXPECT_EQ(slow.received(), "ACK\n" + chunk.repeated(accepted / chunk.size()) + "last\n");
    EXPECT_TRUE(waitUntil([&] { return feeds == 0; }, 5s));

    // One that reads nothing even after the end is dropped after the stall time.
    LocalClient deaf(path);
    deaf.send("stream\tgo\n");
    ASSERT_TRUE(waitUntil([&] { return feeds == 1; }, 5s));
    EXPECT_TRUE(stream->send(QByteArray(2 * CommandStream::kMaxUnsent, 'y')));
    stream->end("last\n");
    EXPECT_TRUE(waitUntil([&] { return feeds == 0; }, 5s));
}

TEST_F(CommandChannelTest, TurnsAwayClientsBeyondTheLimitWithAReasonTheClientReports)
{
    listen({}, 1);
    LocalClient first(path);
    first.send("a\tok\n");
    ASSERT_EQ(first.readLines(1), QByteArray("ACK\n"));
    // The client blocks: it runs beside the event loop that serves it.
    const auto sendFromAnotherThread = [&] {
        auto sent = std::async(std::launch::async, [&] { return sendCommand(path, s("a"), s("ok")); });
        EXPECT_TRUE(waitUntil([&] { return sent.wait_for(0s) == std::future_status::ready; }, 10s));
        return sent.get();
    };
    const auto refused = sendFromAnotherThread();
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().code, ErrorCode::Busy);
    EXPECT_EQ(refused.error().detail, s("too many connections on the command channel"));

    first.close();
    ASSERT_TRUE(waitUntil([&] {
        const auto answered = sendFromAnotherThread();
        return answered.ok() && answered->reply.accepted;
    }, 10s)) << "a place that comes free is taken again";
}

TEST_F(CommandChannelTest, ReplacesAStaleSocketButNeverALiveOne)
{
    // What a crashed instance leaves: a socket file nobody listens on.
    {
        const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray encoded = QFile::encodeName(path);
        std::memcpy(address.sun_path, encoded.constData(), static_cast<std::size_t>(encoded.size()));
        ASSERT_EQ(::bind(stale, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
        ::close(stale);
    }
    listen();
    EXPECT_EQ(ask("a\tok\n"), QByteArray("ACK\n"));

    LocalCommandChannel second(path);
    const auto refused = second.listen([](const QString &, const QString &) { return CommandReply{}; });
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().code, ErrorCode::Busy);
    EXPECT_EQ(ask("a\tok\n"), QByteArray("ACK\n")) << "the live one keeps its socket";

    const QString file = folder.filePath(s("not-a-socket"));
    QFile(file).open(QIODevice::WriteOnly);
    LocalCommandChannel onAFile(file);
    EXPECT_FALSE(onAFile.listen([](const QString &, const QString &) { return CommandReply{}; }).ok());
    EXPECT_TRUE(QFile::exists(file));
}

TEST_F(CommandChannelTest, APathTooLongForASocketAddressIsRefusedWithTheReason)
{
    const QString deep = folder.filePath(QString(120 - folder.path().size(), QLatin1Char('d')) + s("/control.sock"));
    LocalCommandChannel tooLong(deep);
    const auto result = tooLong.listen([](const QString &, const QString &) { return CommandReply{}; });
    ASSERT_FALSE(result.ok());
    EXPECT_TRUE(result.error().detail.contains(s("107 bytes"))) << result.error().detail.toStdString();
}
