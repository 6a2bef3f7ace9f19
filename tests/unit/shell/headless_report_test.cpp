#include "shell/headless_report.h"

#include "support/shell_fixture.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <algorithm>

using pvx::testing::s;
using pvx::testing::ShellFixture;

TEST(HeadlessReport, SaysTheStartEveryStatusWithItsReasonAndTheSave)
{
    ShellFixture f;
    f.writeDefault("[Porvix]\nNumSessions=2\n"
                   "[Session1]\nConnector=1\nIPAddress=127.0.0.1\nAutoActivate=1\nSessionDescription=Lab bench\n"
                   "TraceFile=/nowhere/t.txt\n"
                   "[Session2]\nConnector=5\nCreateVirtualPort=1\nIPAddress=127.0.0.1\nAutoActivate=1\n");
    QObject::connect(&f.sessions, &pvx::shell::SessionList::created, [&f](pvx::session::Session &) {
        if (f.sessions.size() == 2)
            f.virtualPort(1).createError =
                pvx::platform::makeError(pvx::platform::ErrorCode::Busy, s("held by process 1234\r\nsince 9:00"));
    });
    f.traceFiles.refused.append(s("/nowhere/t.txt"));
    QStringList lines;
    const pvx::shell::HeadlessReport report(*f.window, f.sessions, s("/home/porvix"),
                                            [&lines](const QString &line) { lines.append(line); });

    f.start();
    f.sockets.socket(0).events.error(10054, s("Connection reset by peer"));
    f.window->close();

    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines.first(), s("porvix: started " PVX_VERSION ", home /home/porvix, file /home/porvix/default.pvx, "
                               "2 sessions"))
        << "the start comes before the activations";
    EXPECT_TRUE(lines.contains(s("porvix: COM5: Cannot create virtual COM5 (held by process 1234  since 9:00)")))
        << "an unnamed session goes by its port; a reason stays on the line";
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QString &line) {
        return line.startsWith(s("porvix: Lab bench: TCP/IP Status: Connecting..."));
    })) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(lines.contains(s("porvix: Lab bench: TCP/IP Status: Error (Connection reset by peer)")))
        << "an error's reason is on its status line";
    EXPECT_TRUE(lines.contains(s("porvix: Lab bench: The trace file is not opened: /nowhere/t.txt: No such file or directory")));
    EXPECT_EQ(lines.last(), s("porvix: saved to /home/porvix/default.pvx"));
}
