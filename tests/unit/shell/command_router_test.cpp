#include "shell/command_router.h"

#include "shell/status_report.h"
#include "support/shell_fixture.h"
#include "support/text.h"

#include <gtest/gtest.h>

using pvx::testing::s;
using pvx::testing::ShellFixture;

namespace {

// Two sessions answer to COM3: the first, active, and the second, not;
// the third is on COM5.
const char *kSessions = "[Porvix]\nNumSessions=3\n"
                        "[Session1]\nConnector=3\nIPAddress=127.0.0.1\nPortNumber=4001\nAutoActivate=1\n"
                        "SessionDescription=Scale\n"
                        "[Session2]\nConnector=3\nIPAddress=127.0.0.1\n"
                        "[Session3]\nConnector=5\nIPAddress=127.0.0.1\n";

struct RouterFixture : ShellFixture {
    RouterFixture()
    {
        writeDefault(kSessions);
        start();
    }
    pvx::platform::CommandReply send(const char *topic, const char *command)
    {
        return router.execute(s(topic), s(command));
    }
    pvx::shell::CommandRouter router{*window, sessions};
};

} // namespace

TEST(CommandRouter, TopicsReachTheProgramOrTheFirstSessionOfThatConnector)
{
    const struct {
        const char *topic;
        const char *command;
        bool accepted;
        std::array<bool, 3> activeAfter;
    } cases[] = {
        {"com3", "[DEACTIVATE]", true, {false, false, false}},
        {"COM3", "[ACTIVATE]", false, {true, false, false}},  // the first is active already
        {"Com5", "[activate]", true, {true, false, true}},
        {"COM9", "[ACTIVATE]", false, {true, false, false}},
        {"", "[ACTIVATE]", false, {true, false, false}},
        {"System", "[ACTIVATE]", false, {true, false, false}},
        {"COM3", "[APPEXIT]", false, {true, false, false}},
        {"COM3 ", "[DEACTIVATE]", false, {true, false, false}},
    };
    for (const auto &c : cases) {
        RouterFixture f;
        EXPECT_EQ(f.send(c.topic, c.command).accepted, c.accepted) << c.topic << " " << c.command;
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(f.sessions.at(i).isActive(), c.activeAfter[i]) << c.topic << " " << c.command << " " << i;
        EXPECT_FALSE(f.window->ExitRequested);
    }
}

TEST(CommandRouter, ExitIsTheProgramsOnlyCommandBesideTheStatusQueries)
{
    const struct {
        const char *topic;
        const char *command;
        bool accepted;
    } cases[] = {
        {"System", "[APPEXIT]", true},   {"SYSTEM", "  [appexit] ", true}, {"system", "[AppExit]", true},
        {"System", "[APP EXIT]", false}, {"System", "APPEXIT", false},     {"System", "[APPEXIT] now", false},
        {"System", "[STATUS ]", false},  {"Systems", "[APPEXIT]", false},
    };
    for (const auto &c : cases) {
        RouterFixture f;
        const auto reply = f.send(c.topic, c.command);
        EXPECT_EQ(reply.accepted, c.accepted) << c.topic << " " << c.command;
        EXPECT_TRUE(reply.data.isEmpty());
        EXPECT_EQ(f.window->ExitRequested, c.accepted) << c.command;
        EXPECT_EQ(f.timer1().interval(), c.accepted ? 500 : 60000) << c.command;
    }
}

TEST(CommandRouter, StatusQueriesAnswerForEverySessionInWindowOrder)
{
    RouterFixture f;
    const auto text = f.send("system", " [status] ");
    EXPECT_TRUE(text.accepted);
    ASSERT_EQ(text.data.size(), 3);
    EXPECT_TRUE(text.data[0].startsWith(s("Scale | client 127.0.0.1:4001 | COM Status: Open"))) << text.data[0].toStdString();
    EXPECT_TRUE(text.data[1].startsWith(s("COM3 | client")));

    const auto json = f.send("SYSTEM", "[Status Json]");
    EXPECT_TRUE(json.accepted);
    EXPECT_EQ(json.data, QStringList{pvx::shell::statusJson(pvx::shell::sessionStatuses(f.sessions))});
    EXPECT_FALSE(f.window->ExitRequested);
}

TEST(AppExit, ClosesOnTheTickHalfASecondLaterAndSavesTheActiveSessions)
{
    RouterFixture f;
    int closed = 0;
    QObject::connect(f.window.get(), &pvx::shell::MainWindow::closed, [&closed] { ++closed; });
    const int startsBefore = f.timer1().starts;
    ASSERT_TRUE(f.window->runCommand(s("[APPEXIT]")));
    EXPECT_EQ(f.timer1().interval(), 500);
    EXPECT_EQ(f.timer1().starts, startsBefore + 1);
    ASSERT_TRUE(f.window->runCommand(s("[APPEXIT]")));
    EXPECT_EQ(f.timer1().starts, startsBefore + 2) << "a second request starts the wait again";
    EXPECT_EQ(closed, 0) << "the request is answered before the exit";

    f.timer1().fire();
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(f.sessions.size(), 0u);
    const auto saved = f.saved();
    EXPECT_EQ(saved.readInt(s("Session1"), s("AutoActivate"), -1), 1);
    EXPECT_EQ(saved.readInt(s("Session2"), s("AutoActivate"), -1), 0);
    EXPECT_EQ(saved.readInt(s("Session3"), s("AutoActivate"), -1), 0);
}
