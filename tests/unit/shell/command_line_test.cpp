#include "shell/command_line.h"
#include "shell/startup_entry.h"

#include "support/text.h"

#include <gtest/gtest.h>

using namespace pvx::shell;
using pvx::testing::s;

namespace {

QStringList args(std::initializer_list<const char *> list)
{
    QStringList result;
    for (const char *arg : list)
        result.append(s(arg));
    return result;
}

} // namespace

TEST(CommandLine, OptionsAndTheRestJoinedBySpaces)
{
    const CommandLine line = parseCommandLine(args({"--headless", "my", "settings.pvx", "--home", "/srv/p"}));
    EXPECT_TRUE(line.headless);
    EXPECT_EQ(line.home, s("/srv/p"));
    EXPECT_EQ(line.rest, s("my settings.pvx"));
    EXPECT_TRUE(line.error.isEmpty());

    EXPECT_EQ(parseCommandLine(args({"--home=/a b"})).home, s("/a b"));
    EXPECT_TRUE(parseCommandLine(args({"--help"})).help);
    EXPECT_TRUE(parseCommandLine(args({"--version"})).version);
    EXPECT_EQ(parseCommandLine(args({"--", "--headless"})).rest, s("--headless"));
    EXPECT_FALSE(parseCommandLine(args({"--", "--headless"})).headless);
    EXPECT_EQ(parseCommandLine({}).rest, QString());
}

TEST(CommandLine, SendAndStatusReachTheInstanceOnTheHome)
{
    const CommandLine send = parseCommandLine(args({"--send", "COM1", "[COMSETTINGS=9600,", "E]", "--home", "/h"}));
    EXPECT_TRUE(send.send);
    EXPECT_EQ(send.sendTopic, s("COM1"));
    EXPECT_EQ(send.rest, s("[COMSETTINGS=9600, E]"));
    EXPECT_EQ(send.home, s("/h"));
    EXPECT_TRUE(send.error.isEmpty());

    const CommandLine status = parseCommandLine(args({"--json", "--status"}));
    EXPECT_TRUE(status.status && status.json && status.error.isEmpty());

    const CommandLine monitor = parseCommandLine(args({"--text", "--monitor", "COM7", "--home", "/h"}));
    EXPECT_TRUE(monitor.monitor && monitor.text && !monitor.hex && monitor.error.isEmpty());
    EXPECT_EQ(monitor.monitorTopic, s("COM7"));
    EXPECT_EQ(monitor.home, s("/h"));
}

TEST(CommandLine, MistakesAreErrorsNotFileNames)
{
    for (const auto &bad : {args({"--home"}), args({"--home", ""}), args({"--home="}), args({"--headles"}),
                            args({"file.pvx", "--send"}), args({"--send", "System"}), args({"--send", "", "x"}),
                            args({"--send", "System", "x", "--status"}), args({"--json"}),
                            args({"--status", "file.pvx"}), args({"--monitor"}), args({"--monitor", ""}),
                            args({"--monitor", "COM1", "COM2"}), args({"--monitor", "COM1", "--status"}),
                            args({"--send", "COM1", "x", "--monitor", "COM1"}), args({"--hex"}),
                            args({"--text", "--status"}), args({"--monitor", "COM1", "--hex", "--text"})}) {
        const CommandLine line = parseCommandLine(bad);
        EXPECT_FALSE(line.error.isEmpty()) << bad.join(QLatin1Char(' ')).toStdString();
    }
}

TEST(CommandLine, SingleDashWordsAreHelpServiceSwitchesOrUnknown)
{
    const struct {
        QStringList arguments;
        bool help;
        const char *unknownSwitch;
        const char *rest;
    } cases[] = {
        {args({"-h"}), true, "", ""},
        {args({"-help"}), true, "", ""},
        {args({"-?"}), true, "", ""},
        {args({"file.pvx", "-HELP"}), true, "", "file.pvx"},
        {args({"-v"}), false, "-v", "-v"},
        {args({"-x"}), false, "-x", "-x"},
        {args({"-foo"}), false, "-foo", "-foo"},
        {args({"-"}), false, "-", "-"},
        {args({"-I", "settings.pvx"}), false, "-I", "-I settings.pvx"},
        {args({"-I"}), false, "", "-I"},
        {args({"/I"}), false, "", "/I"},
        {args({"-IH"}), false, "", "-IH"},
        {args({"-U"}), false, "", "-U"},
        {args({"-i", "s"}), false, "", "-i s"},
        {args({"-IHS"}), false, "", "-IHS"},
        {args({"./-name"}), false, "", "./-name"},
        {args({"--", "-name"}), false, "", "-name"},
        {args({"--send", "COM1", "-x"}), false, "", "-x"},
    };
    for (const auto &c : cases) {
        const CommandLine line = parseCommandLine(c.arguments);
        const std::string shown = c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(line.help, c.help) << shown;
        EXPECT_EQ(line.unknownSwitch, s(c.unknownSwitch)) << shown;
        EXPECT_EQ(line.rest, s(c.rest)) << shown;
        EXPECT_TRUE(line.error.isEmpty()) << shown;
    }
}

TEST(CommandLine, ServiceSwitchesInAnyCaseWithBlanksAndSilentS)
{
    struct Case {
        const char *text;
        ServiceSwitch::Kind kind;
        bool silent;
    };
    const Case cases[] = {
        {"-I", ServiceSwitch::Kind::Install, false},        {"/i", ServiceSwitch::Kind::Install, false},
        {"  -is ", ServiceSwitch::Kind::Install, true},      {"/I S", ServiceSwitch::Kind::Install, true},
        {"-IH", ServiceSwitch::Kind::InstallHidden, false}, {"/ihs", ServiceSwitch::Kind::InstallHidden, true},
        {"-U", ServiceSwitch::Kind::Uninstall, false},      {"/us", ServiceSwitch::Kind::Uninstall, true},
    };
    for (const Case &c : cases) {
        const auto found = serviceSwitch(s(c.text));
        ASSERT_TRUE(found.has_value()) << c.text;
        EXPECT_EQ(found->kind, c.kind) << c.text;
        EXPECT_EQ(found->silent, c.silent) << c.text;
    }
    for (const char *other : {"", "days", "-X", "-I -U", "/IHH", "settings.pvx", "-", "S"})
        EXPECT_FALSE(serviceSwitch(s(other)).has_value()) << other;
}

TEST(StartupEntry, QuotesThePathAndAddsAHomeThatIsNotTheDefault)
{
    EXPECT_EQ(startupCommandLine(s("/usr/bin/porvix"), s("/home/u/.config/porvix"), s("/home/u/.config/porvix")),
              s("\"/usr/bin/porvix\""));
    EXPECT_EQ(startupCommandLine(s("/opt/my porvix/porvix"), s("/srv/p"), s("/home/u/.config/porvix")),
              s("\"/opt/my porvix/porvix\" --home \"/srv/p\""));
    EXPECT_EQ(quotedArgument(s("a\"b`c$d\\e")), s("\"a\\\"b\\`c\\$d\\\\e\""));
}
