#include "session/trace_format.h"
#include "session/trace_hub.h"
#include "support/text.h"

#include <QDateTime>
#include <QList>
#include <gtest/gtest.h>

using pvx::session::formatTraceRecord;
using pvx::session::TraceHub;
using pvx::session::TraceRecord;
using pvx::session::TraceStyle;
using pvx::testing::s;
using Kind = TraceRecord::Kind;

namespace {

/// 2026-12-08 14:03:07.120456 local time.
std::chrono::system_clock::time_point aMoment()
{
    const QDateTime local(QDate(2026, 12, 8), QTime(14, 3, 7, 120));
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(local.toMSecsSinceEpoch()))
           + std::chrono::microseconds(456);
}

TraceRecord record(Kind kind, const QByteArray &bytes, const char *peer, const char *event = "")
{
    TraceRecord made;
    made.when = aMoment();
    made.kind = kind;
    made.session = s("Line 4");
    made.peer = s(peer);
    made.byteCount = bytes.size();
    made.bytes = bytes;
    made.event = s(event);
    return made;
}

} // namespace

TEST(TraceFormat, HeaderThenBytesAsHexdumpOrEscapedText)
{
    const QByteArray seventeen = QByteArray("0123456789abcdef") + char(0xff);
    const struct {
        const char *name;
        TraceRecord record;
        TraceStyle style;
        const char *expected;
    } cases[] = {
        {"an event about a peer", record(Kind::Event, {}, "127.0.0.1:5000", "connection started"), TraceStyle::Hex,
         "2026-12-08 14:03:07.120456 [Line 4] event connection started: 127.0.0.1:5000\n"},
        {"an event about nobody", record(Kind::Event, {}, "", "TCP/IP Status: Listening..."), TraceStyle::Text,
         "2026-12-08 14:03:07.120456 [Line 4] event TCP/IP Status: Listening...\n"},
        {"a count without its bytes", [] { auto r = record(Kind::ToSerial, {}, "[::1]:40100"); r.byteCount = 9; return r; }(),
         TraceStyle::Hex, "2026-12-08 14:03:07.120456 [Line 4] network->serial 9 bytes from [::1]:40100\n"},
        {"one byte", record(Kind::ToNetwork, "A", "nobody"), TraceStyle::Hex,
         "2026-12-08 14:03:07.120456 [Line 4] serial->network 1 bytes to nobody\n"
         "  00000000  41                                                |A|\n"},
        {"sixteen bytes fill one line", record(Kind::ToNetwork, seventeen.left(16), "nobody"), TraceStyle::Hex,
         "2026-12-08 14:03:07.120456 [Line 4] serial->network 16 bytes to nobody\n"
         "  00000000  30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66  |0123456789abcdef|\n"},
        {"seventeen bytes over two lines", record(Kind::ToNetwork, seventeen, "127.0.0.1:1, 127.0.0.1:2"),
         TraceStyle::Hex,
         "2026-12-08 14:03:07.120456 [Line 4] serial->network 17 bytes to 127.0.0.1:1, 127.0.0.1:2\n"
         "  00000000  30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66  |0123456789abcdef|\n"
         "  00000010  ff                                                |.|\n"},
        {"text escapes what does not print", record(Kind::ToSerial, QByteArray("ok\\\r\n\x80", 6), "127.0.0.1:9"),
         TraceStyle::Text,
         "2026-12-08 14:03:07.120456 [Line 4] network->serial 6 bytes from 127.0.0.1:9: ok\\x5c\\x0d\\x0a\\x80\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(formatTraceRecord(c.record, c.style), QByteArray(c.expected)) << c.name;
}

TEST(TraceHub, TellsEachWatcherWhatItAskedForAndLetsItGoEvenWhileTold)
{
    TraceHub hub([] { return s("COM3"); });
    EXPECT_FALSE(hub.watched());
    hub.data(Kind::ToNetwork, "unseen", s("nobody"));

    QList<TraceRecord> full;
    QList<TraceRecord> counts;
    const int fullId = hub.watch([&](const TraceRecord &r) { full << r; }, true);
    int countsId = 0;
    countsId = hub.watch([&](const TraceRecord &r) {
        counts << r;
        hub.unwatch(countsId); // once is enough for this one
    }, false);
    hub.data(Kind::ToSerial, "abc", s("127.0.0.1:7"));
    hub.event(s("connection started"), s("127.0.0.1:7"));
    hub.unwatch(fullId);
    EXPECT_FALSE(hub.watched());

    ASSERT_EQ(full.size(), 2);
    EXPECT_EQ(full[0].bytes, QByteArray("abc"));
    EXPECT_EQ(full[0].session, s("COM3"));
    EXPECT_EQ(full[1].event, s("connection started"));
    ASSERT_EQ(counts.size(), 1);
    EXPECT_EQ(counts[0].byteCount, 3);
    EXPECT_TRUE(counts[0].bytes.isEmpty());
}
