#include "shell/trace_monitor.h"

#include "session/trace_hub.h"
#include "support/text.h"

#include <QObject>

#include <gtest/gtest.h>

using pvx::session::TraceHub;
using pvx::session::TraceStyle;
using pvx::shell::TraceMonitor;
using pvx::testing::s;
using Kind = pvx::session::TraceRecord::Kind;

namespace {

/// A stream that takes `room` sends, and records what it was given.
struct FakeStream final : pvx::platform::CommandStream {
    bool send(const QByteArray &bytes) override
    {
        if (ended || room == 0)
            return false;
        --room;
        sent += bytes;
        return true;
    }
    void end(const QByteArray &last) override
    {
        ++ends;
        ended = true;
        sent += last;
    }
    int room = 100;
    int ends = 0;
    bool ended = false;
    QByteArray sent;
};

/// What holds a hub, as a session does: gone before it says so.
struct Owner : QObject {
    TraceHub hub{[] { return s("COM7"); }};
};

} // namespace

TEST(TraceMonitor, StreamsEachRecordInItsStyleAndLetsGoOfASlowReaderAtOnce)
{
    Owner owner;
    FakeStream hexStream;
    FakeStream textStream;
    textStream.room = 2;
    TraceMonitor hex(owner.hub, owner, TraceStyle::Hex, hexStream);
    TraceMonitor text(owner.hub, owner, TraceStyle::Text, textStream);

    owner.hub.data(Kind::ToNetwork, "hi\x01", s("127.0.0.1:4000"));
    EXPECT_TRUE(hexStream.sent.endsWith("serial->network 3 bytes to 127.0.0.1:4000\n"
                                        "  00000000  68 69 01                                          |hi.|\n"))
        << hexStream.sent.toStdString();
    EXPECT_TRUE(textStream.sent.endsWith("serial->network 3 bytes to 127.0.0.1:4000: hi\\x01\n"))
        << textStream.sent.toStdString();

    // The text monitor's stream takes one more record, then refuses: one
    // last line, and it watches no more while the other goes on.
    for (int i = 0; i < 3; ++i)
        owner.hub.event(s("client connected"), s("127.0.0.1:4001"));
    EXPECT_EQ(textStream.ends, 1);
    EXPECT_TRUE(textStream.sent.endsWith(pvx::shell::kMonitorCutOff));
    EXPECT_EQ(textStream.sent.count('\n'), 3);
    EXPECT_EQ(hexStream.sent.count("client connected"), 3);
    EXPECT_EQ(hexStream.ends, 0);
}

TEST(TraceMonitor, EndsQuietlyWhenTheSessionGoes)
{
    auto owner = std::make_unique<Owner>();
    FakeStream stream;
    TraceMonitor monitor(owner->hub, *owner, TraceStyle::Hex, stream);
    owner.reset();
    EXPECT_EQ(stream.ends, 1);
    EXPECT_EQ(stream.sent, QByteArray());
    // The monitor goes after the session and must not reach for its hub.
}
