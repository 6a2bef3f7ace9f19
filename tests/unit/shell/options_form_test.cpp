#include "shell/options_form.h"

#include "support/shell_fixture.h"
#include "support/text.h"

#include <gtest/gtest.h>

using pvx::shell::OptionsForm;
using pvx::shell::packetSizeFromText;
using pvx::testing::s;
using pvx::testing::ShellFixture;

TEST(OptionsForm, PacketSizeFromText)
{
    const std::pair<const char *, int> cases[] = {
        {"0", 2000},      {"-5", 2000},     {"abc", 2000},    {"20000", 2000}, {"10000", 10000},
        {"1", 1},         {"1500.5", 1500}, {"1501.5", 1502}, {"0.5", 2000},   {"1.5", 2},
        {" 1 5 0 0 ", 1500}, {"250 bytes", 250}, {"", 2000}, {"10000.5", 10000}, {"10000.6", 2000},
    };
    for (const auto &[text, size] : cases)
        EXPECT_EQ(packetSizeFromText(s(text)), size) << text;
}

TEST(OptionsForm, OpensWithTheSettingsAndItsTexts)
{
    ShellFixture f;
    f.settings = {s("pw"), s("beep --now"), 1, 512, 1, 3, 9, 1};
    OptionsForm form(f.strings, f.dialogs, f.settings);
    EXPECT_EQ(form.caption(), s("Porvix Options"));
    EXPECT_EQ(form.pingFrame.caption(), s("Ping remote IP Addresses to detect failed connections:"));
    EXPECT_EQ(form.startWithLoginBox.caption(), s("Load Porvix with Windows at startup"));
    EXPECT_EQ(form.okButton.caption(), s("&OK"));
    EXPECT_EQ(form.errorProgram.text(), s("beep --now"));
    EXPECT_EQ(form.logErrorsBox.value(), 1);
    EXPECT_EQ(form.packetSize.text(), s("512"));
    EXPECT_EQ(form.packetSize.items().size(), 7);
    EXPECT_EQ(form.pingFrequency.text(), s("10 Seconds"));
    EXPECT_EQ(form.pingFrequency.items().size(), 14);
    EXPECT_EQ(form.pingFrequency.items().first(), s(".5 Second"));
    EXPECT_EQ(form.pingFrequency.items().last(), s("60 Seconds"));
    EXPECT_EQ(form.pingTimeout.text(), s("1000 ms"));
    EXPECT_EQ(form.pingTimeout.items().size(), 20);
    EXPECT_EQ(form.pingTimeout.items().last(), s("2000 ms"));
    EXPECT_EQ(form.pingEnabledBox.value(), 1);
    EXPECT_EQ(form.startWithLoginBox.value(), 1);
}

TEST(OptionsForm, StoredValuesOutsideTheListsShowTheDefaults)
{
    ShellFixture f;
    f.settings.PingFrequency = 14;
    f.settings.PingTimeout = -1;
    f.settings.LogErrors = 2;
    OptionsForm form(f.strings, f.dialogs, f.settings);
    EXPECT_EQ(form.pingFrequency.selectedIndex(), 3);
    EXPECT_EQ(form.pingTimeout.selectedIndex(), -1) << "-1 is a valid stored choice: none";
    EXPECT_EQ(form.logErrorsBox.value(), 1);
}

TEST(OptionsForm, OkStoresEveryFieldAndCancelNone)
{
    ShellFixture f;
    const pvx::session::ProgramSettings before = f.settings;
    const auto edit = [](OptionsForm &form) {
        form.errorProgram.setText(s("/usr/bin/logger oops"));
        form.logErrorsBox.setValue(1);
        form.packetSize.setText(s("1500.5"));
        form.pingEnabledBox.setValue(1);
        form.pingFrequency.select(0);
        form.pingTimeout.select(19);
        form.startWithLoginBox.setValue(1);
    };
    f.options = [&edit](OptionsForm &form) {
        edit(form);
        form.onCancelClicked();
    };
    f.window->onOptionsClicked();
    EXPECT_EQ(f.settings, before);

    f.options = [&edit](OptionsForm &form) {
        edit(form);
        form.onOkClicked();
    };
    f.window->onOptionsClicked();
    EXPECT_EQ(f.settings, (pvx::session::ProgramSettings{QString(), s("/usr/bin/logger oops"), 1, 1500, 1, 0, 19, 1}));
}

TEST(OptionsForm, BrowsePicksTheErrorProgram)
{
    ShellFixture f;
    f.settings.OnErrorRunApp = s("old");
    OptionsForm form(f.strings, f.dialogs, f.settings);
    form.onBrowseClicked();
    EXPECT_EQ(form.errorProgram.text(), s("old")) << "a cancelled dialog leaves the command line";
    ASSERT_EQ(f.dialogs.fileDialogs.size(), 1);
    EXPECT_EQ(f.dialogs.fileDialogs.first().filter, s("Programs (*.EXE)|*.EXE|All Files (*.*)|*.*"));
    f.dialogs.nextFileName = s("/usr/local/bin/alarm");
    form.onBrowseClicked();
    EXPECT_EQ(form.errorProgram.text(), s("/usr/local/bin/alarm"));
}
