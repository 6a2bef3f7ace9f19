#include "session/trace_file_watch.h"

#include "bridge_fixture.h"

#include <gtest/gtest.h>

using pvx::session::commandedTraceFile;
using pvx::testing::BridgeFixture;
using pvx::testing::s;
using Role = BridgeFixture::Role;

TEST(TraceFileWatch, TraceCommandNamesTheFile)
{
    const struct {
        const char *argument;
        const char *current;
        std::optional<QString> expected;
    } cases[] = {
        {"ON]", "", s("trace-COM4.txt")},
        {"on", "logs/t.txt", s("logs/t.txt")},
        {" Off ]", "logs/t.txt", QString()},
        {"Logs/Trace Here.txt]", "", s("Logs/Trace Here.txt")},  // letter case and blanks inside kept
        {"./on]", "x", s("./on")},
        {"]", "x", std::nullopt},
        {"", "x", std::nullopt},
        {"a\nb]", "x", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(commandedTraceFile(s(c.argument), s(c.current), s("COM4")), c.expected) << c.argument;
    EXPECT_EQ(commandedTraceFile(QString(200, QLatin1Char('x')), {}, s("COM4")), std::nullopt)
        << "longer than a settings file keeps";
}

namespace {

struct TracedSession : BridgeFixture {
    TracedSession() : BridgeFixture(Role::Server) {}
    bool execute(const char *command) { return session->runCommand(s(command)); }
    QString traceFile() { return window().options.TraceFile; }
    QString written(const char *path) { return QString::fromUtf8(traceFiles.written[s(path)]); }
};

} // namespace

TEST(TraceFileWatch, TraceCommandsSwitchAnActiveSessionAtOnce)
{
    TracedSession f;
    ASSERT_TRUE(f.execute("[trace=a.txt]"));
    EXPECT_EQ(f.traceFile(), s("a.txt"));
    EXPECT_TRUE(f.traceFiles.openPaths.isEmpty()) << "an inactive session opens it at activation";

    f.activate();
    EXPECT_EQ(f.traceFiles.openPaths, QStringList{s("a.txt")});
    f.traceFiles.refused.append(s("/nowhere/b.txt"));
    const struct {
        const char *command;
        bool accepted;
        const char *traceFile;
        QStringList open;
    } steps[] = {
        {"[TRACE=/nowhere/b.txt]", false, "a.txt", {s("a.txt")}},  // refused: the old file stays
        {"[TRACE=c.txt]", true, "c.txt", {s("c.txt")}},
        {"[TRACE=OFF]", true, "", {}},
        {"[TRACE=OFF]", true, "", {}},
        {"[TRACE=ON]", true, "trace-COM4.txt", {s("trace-COM4.txt")}},
    };
    for (const auto &step : steps) {
        EXPECT_EQ(f.execute(step.command), step.accepted) << step.command;
        EXPECT_EQ(f.traceFile(), s(step.traceFile)) << step.command;
        EXPECT_EQ(f.traceFiles.openPaths, step.open) << step.command;
    }
    EXPECT_TRUE(f.logText().contains(s("The trace file is not opened: /nowhere/b.txt: No such file or directory")));
}

TEST(TraceFileWatch, TracesFromActivationToDeactivation)
{
    for (const int withBytes : {0, 1}) {
        TracedSession f;
        f.window().options.TraceFile = s("t.txt");
        f.window().options.TraceBytes = static_cast<qint16>(withBytes);
        f.activate();
        const int client = f.connectClient();
        f.socket(client).arrive("hi");
        f.session->deactivate();
        EXPECT_TRUE(f.traceFiles.openPaths.isEmpty());
        const QString trace = f.written("t.txt");
        EXPECT_TRUE(trace.contains(s("] network->serial 2 bytes from 198.51.100.9"))) << trace.toStdString();
        EXPECT_EQ(trace.contains(s("|hi|")), withBytes == 1) << trace.toStdString();
        EXPECT_TRUE(trace.section(QLatin1Char('\n'), 0, 0).endsWith(s("event COM Status: Open (/dev/fake4)")))
            << "the activation's own events are traced";
    }
}

TEST(TraceFileWatch, AFileThatCannotBeOpenedDoesNotStopTheActivation)
{
    TracedSession f;
    f.window().options.TraceFile = s("/nowhere/t.txt");
    f.traceFiles.refused.append(s("/nowhere/t.txt"));
    f.activate();
    EXPECT_TRUE(f.logText().contains(s("The trace file is not opened: /nowhere/t.txt")));
}
