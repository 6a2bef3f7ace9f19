#include "session/error_log.h"

#include "support/text.h"
#include "support/session_fixture.h"

#include <gtest/gtest.h>

using pvx::testing::s;

using pvx::testing::SessionFixture;

namespace {

QString logText(SessionFixture &f)
{
    return QString::fromUtf8(f.files.files.value(f.log.path()));
}

} // namespace

TEST(ErrorLog, NothingHappensWithLoggingOffAndNoProgram)
{
    SessionFixture f;
    f.session->logError(s("TCP/IP Status: Closed"));
    EXPECT_TRUE(f.files.files.isEmpty());
    EXPECT_TRUE(f.launcher.started.isEmpty());
}

TEST(ErrorLog, ClientLineCarriesTheRemoteEnd)
{
    SessionFixture f;
    f.settings.LogErrors = 1;
    f.socket(0).setRemoteHost(s("192.168.1.20"));
    f.socket(0).setRemotePort(1000);
    f.session->logError(s("TCP/IP Status: Closed"));
    EXPECT_EQ(logText(f), s("Porvix Error: TCP/IP Status: Closed, 12-06-2026, 08:55:01, Porvix IP Address: "
                            "192.0.2.10, Client Mode, Remote Host: 192.168.1.20, RemotePort: 1000\r\n"));
}

TEST(ErrorLog, EveryStatusChangeIsOneLineAndOneProgramStart)
{
    SessionFixture f;
    f.settings.LogErrors = 1;
    f.settings.OnErrorRunApp = s("notify-send porvix");
    f.ports.devices.insert(1, s("/dev/fake1"));
    f.window().connector.select(1);
    f.window().serverRoleButton.setValue(1);
    f.session->toggleActive();

    const QStringList lines = logText(f).split(s("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(s("Porvix Error: COM Status: Open (/dev/fake1), ")));
    EXPECT_TRUE(lines[1].startsWith(s("Porvix Error: TCP/IP Status: Listening..., ")));
    EXPECT_TRUE(lines[1].endsWith(s(", Server Mode, Local Port: 1000")));
    EXPECT_EQ(f.launcher.started, (QStringList{s("notify-send porvix"), s("notify-send porvix")}));
}

TEST(ErrorLog, ProgramRunsEvenWithoutLoggingAndFailuresAreIgnored)
{
    SessionFixture f;
    f.settings.OnErrorRunApp = s("/nonexistent/program");
    f.launcher.fails = true;
    f.files.failing.insert(f.log.path());
    f.settings.LogErrors = 1;
    f.session->logError(s("Host not found"));
    EXPECT_EQ(f.launcher.started.size(), 1);
    EXPECT_TRUE(f.files.files.isEmpty());
}

TEST(ErrorLog, AFullLogMovesAsideAndANewOneStarts)
{
    pvx::testing::FakeLogServices f;
    f.settings.LogErrors = 1;
    QStringList told;
    // Every line is 120 bytes or more, so each report after the first fills
    // the log past the limit.
    pvx::session::ErrorLog log(f.files, f.launcher, f.clock, f.settings, s("/home/errorlog.txt"),
                               {100, [&told](const QString &message) { told.append(message); }});
    const auto lineOf = [](const QByteArray &bytes) { return QString::fromUtf8(bytes).section(s(","), 0, 0); };

    log.report(s("first"), s("192.0.2.10"), s("Server Mode, Local Port: 1000"));
    EXPECT_FALSE(f.files.files.contains(s("/home/errorlog.txt"))) << "one line is past the limit already";
    EXPECT_EQ(lineOf(f.files.files.value(s("/home/errorlog.txt.1"))), s("Porvix Error: first"));
    log.report(s("second"), s("192.0.2.10"), s("Server Mode, Local Port: 1000"));
    EXPECT_EQ(lineOf(f.files.files.value(s("/home/errorlog.txt.1"))), s("Porvix Error: second"))
        << "the older log is replaced";

    f.files.failing.insert(s("/home/errorlog.txt.1"));
    for (const char *description : {"third", "fourth"})
        log.report(s(description), s("192.0.2.10"), s("Server Mode, Local Port: 1000"));
    EXPECT_EQ(f.files.files.value(s("/home/errorlog.txt")).count("\r\n"), 2) << "a log that cannot move grows on";
    ASSERT_EQ(told.size(), 1) << "and says so once";
    EXPECT_TRUE(told[0].startsWith(s("/home/errorlog.txt cannot be moved to /home/errorlog.txt.1")))
        << told[0].toStdString();
}

TEST(ErrorLog, ALogThatCannotBeWrittenSaysSoOncePerSpell)
{
    pvx::testing::FakeLogServices f;
    f.settings.LogErrors = 1;
    QStringList told;
    pvx::session::ErrorLog log(f.files, f.launcher, f.clock, f.settings, s("/home/errorlog.txt"),
                               {.failed = [&told](const QString &message) { told.append(message); }});
    f.files.failing.insert(s("/home/errorlog.txt"));
    log.report(s("first"), {}, {});
    log.report(s("second"), {}, {});
    f.files.failing.clear();
    log.report(s("third"), {}, {});
    f.files.failing.insert(s("/home/errorlog.txt"));
    log.report(s("fourth"), {}, {});
    ASSERT_EQ(told.size(), 2);
    EXPECT_EQ(told[0], s("the error log is not written: /home/errorlog.txt: refused"));
}
