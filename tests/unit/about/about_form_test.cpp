#include "about/about_form.h"

#include "support/form_endings.h"
#include "support/shell_fixture.h"
#include "support/text.h"

#include <gtest/gtest.h>

using pvx::about::AboutForm;
using pvx::testing::s;
using pvx::testing::ShellFixture;

namespace {

AboutForm aboutOf(ShellFixture &f)
{
    return AboutForm({f.strings, f.dialogs, &f.desktop, f.launcher, f.clock});
}

} // namespace

TEST(AboutForm, TextsInBothLanguages)
{
    struct Case {
        pvx::resources::Language language;
        const char *caption;
        const char *title;
    };
    const Case cases[] = {
        {pvx::resources::Language::English, "About Porvix", "Porvix - RS232 to TCP/IP Converter"},
        {pvx::resources::Language::Japanese, "Porvix のバージョン情報", "Porvix - RS232・TCP/IP 変換ソフトウェア"},
    };
    for (const Case &c : cases) {
        ShellFixture f(c.language);
        const AboutForm form = aboutOf(f);
        EXPECT_EQ(form.caption(), QString::fromUtf8(c.caption));
        EXPECT_EQ(form.titleLabel.caption(), QString::fromUtf8(c.title));
        EXPECT_EQ(form.versionLabel.caption(), s("V. " PVX_VERSION));
        EXPECT_TRUE(form.descriptionLabel.caption().startsWith(f.strings.text(5060)));
        EXPECT_EQ(form.disclaimerLabel.caption(), f.strings.text(1102));
        EXPECT_EQ(form.webAddressLabel.caption(), s("https://porvix.example.org/"));
        EXPECT_EQ(form.okButton.caption(), f.strings.text(1207));
        EXPECT_EQ(form.systemInfoButton.caption(), s("&System Info..."));
    }
}

TEST(AboutForm, TheCopyrightYearsEndWithTheCurrentYear)
{
    const std::pair<int, const char *> cases[] = {{2026, "2024-2026"}, {2031, "2024-2031"}, {2024, "2024"}};
    for (const auto &[year, years] : cases) {
        ShellFixture f;
        f.clock.time.setDate(QDate(year, 3, 1));
        const AboutForm form = aboutOf(f);
        EXPECT_TRUE(
            form.descriptionLabel.caption().endsWith(s("Copyright \u00a9 ") + s(years) + s(" The Porvix developers")))
            << form.descriptionLabel.caption().toStdString();
    }
}

TEST(AboutForm, SystemInformationStartsTheFirstProgramInstalledOrSaysItIsUnavailable)
{
    struct Case {
        QStringList installed;
        QStringList asked;
        bool unavailable;
    };
    const Case cases[] = {
        {{s("hardinfo2"), s("hardinfo")}, {s("hardinfo2")}, false},
        {{s("hardinfo")}, {s("hardinfo2"), s("hardinfo")}, false},
        {{}, {s("hardinfo2"), s("hardinfo")}, true},
    };
    for (const Case &c : cases) {
        ShellFixture f;
        f.launcher.installed = c.installed;
        AboutForm form = aboutOf(f);
        form.systemInfoButton.onClick();
        EXPECT_EQ(f.launcher.askedPrograms, c.asked);
        ASSERT_EQ(f.dialogs.messages.size(), c.unavailable ? 1 : 0);
        if (c.unavailable) {
            EXPECT_EQ(f.dialogs.messages.first().text, s("System Information Is Unavailable At This Time"));
        }
        EXPECT_TRUE(form.isLoaded());
    }
}

TEST(AboutForm, TheLinkOpensTheWebPageAndEveryWayOutJustCloses)
{
    ShellFixture f;
    f.desktop.opens = false;
    AboutForm form = aboutOf(f);
    form.webAddressLabel.onClick();
    EXPECT_EQ(f.desktop.opened, QStringList{s("https://porvix.example.org/")});
    EXPECT_TRUE(f.dialogs.messages.isEmpty()) << "a failed open is not reported";

    for (const auto ending : pvx::testing::kEveryEnding) {
        AboutForm closing = aboutOf(f);
        pvx::testing::endForm(closing, closing.okButton, closing.okButton, ending);
        EXPECT_FALSE(closing.isLoaded()) << pvx::testing::endingName(ending);
    }
}

TEST(AboutForm, HelpAboutShowsIt)
{
    ShellFixture f;
    f.start();
    EXPECT_TRUE(f.window->helpAboutItem.isVisible());
    QString shown;
    f.about = [&shown](AboutForm &form) {
        shown = form.caption();
        form.onOkClicked();
    };
    f.window->helpAboutItem.onClick();
    EXPECT_EQ(shown, s("About Porvix"));
}
