#include "shell/trace_monitor.h"

#include "session/trace_hub.h"
#include "support/text.h"

#include <QObject>

#include <gtest/gtest.h>

using pvx::testing::s;

namespace {

/// A stream that takes `room` sends, and records what it was given.
struct FakeStream final : pvx::platform::CommandStream {
    bool send(const QByteArray &bytes) override { return room-- > 0 && !(sent += bytes).isEmpty(); }
    void end(const QByteArray &last) override { sent += last + "<end>"; }
    int room = 100;
    QByteArray sent;
};

/// What holds a hub, as a session does: gone before it says so.
struct Owner : QObject {
    pvx::session::TraceHub hub{[] { return s("COM7"); }};
};

} // namespace

TEST(TraceMonitor, LetsGoOfASlowReaderAtOnceAndEndsQuietlyWithTheSession)
{
    auto owner = std::make_unique<Owner>();
    FakeStream reader;
    FakeStream slow;
    slow.room = 1;
    pvx::shell::TraceMonitor reading(owner->hub, *owner, pvx::session::TraceStyle::Text, reader);
    pvx::shell::TraceMonitor cutOff(owner->hub, *owner, pvx::session::TraceStyle::Hex, slow);
    for (int i = 0; i < 3; ++i)
        owner->hub.data(pvx::session::TraceRecord::Kind::ToSerial, "ab", s("127.0.0.1:4001"));
    EXPECT_EQ(slow.sent.count("network->serial"), 1);
    EXPECT_TRUE(slow.sent.endsWith(QByteArray(pvx::shell::kMonitorCutOff) + "<end>"));
    EXPECT_EQ(slow.sent.count("<end>"), 1) << "no longer told";
    EXPECT_EQ(reader.sent.count("network->serial 2 bytes from 127.0.0.1:4001: ab\n"), 3);

    // The monitors outlive the session and must not reach for its hub.
    owner.reset();
    EXPECT_TRUE(reader.sent.endsWith("ab\n<end>"));
}
