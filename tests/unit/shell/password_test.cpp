#include "shell/password_forms.h"

#include "support/shell_fixture.h"
#include "support/text.h"

#include <gtest/gtest.h>

using pvx::shell::EnterPasswordForm;
using pvx::shell::SetPasswordForm;
using pvx::shell::WindowPlacement;
using pvx::testing::s;
using pvx::testing::ShellFixture;
using pvx::testing::typing;

TEST(SetPassword, OpensWithTheCurrentPasswordAndItsTexts)
{
    ShellFixture f;
    f.settings.Password = s("abc");
    SetPasswordForm form(f.strings, f.dialogs, f.settings.Password);
    EXPECT_EQ(form.caption(), s("Porvix Password"));
    EXPECT_EQ(form.passwordLabel.caption(), s("Enter Password:"));
    EXPECT_EQ(form.confirmationLabel.caption(), s("Confirm Password"));
    EXPECT_EQ(form.okButton.caption(), s("&OK"));
    EXPECT_EQ(form.cancelButton.caption(), s("&Cancel"));
    EXPECT_EQ(form.password.text(), s("abc"));
    EXPECT_EQ(form.confirmation.text(), s("abc"));
}

TEST(SetPassword, MismatchKeepsTheDialogAndTheOldPassword)
{
    ShellFixture f;
    f.settings.Password = s("old");
    f.setPassword = [](SetPasswordForm &form) {
        form.password.setText(s("new1"));
        form.confirmation.setText(s("new2"));
        form.onOkClicked();
        EXPECT_TRUE(form.isLoaded());
        EXPECT_EQ(form.password.text(), s("new1"));
        form.onCancelClicked();
    };
    f.window->onSetPasswordClicked();
    EXPECT_EQ(f.settings.Password, s("old"));
    ASSERT_EQ(f.dialogs.messages.size(), 1);
    EXPECT_EQ(f.dialogs.messages.first().text,
              s("Your confirming password does not match your password. Please re-enter."));
}

TEST(SetPassword, MatchSetsAndEmptyRemovesAndTheFileFollowsAtTheNextSave)
{
    ShellFixture f;
    f.start();
    for (const char *wanted : {"Secret", ""}) {
        f.setPassword = [wanted](SetPasswordForm &form) {
            form.password.setText(s(wanted));
            form.confirmation.setText(s(wanted));
            form.onOkClicked();
            EXPECT_FALSE(form.isLoaded());
        };
        f.window->onSetPasswordClicked();
        EXPECT_EQ(f.settings.Password, s(wanted));
        ASSERT_TRUE(f.window->writeprofilesettings({}));
        EXPECT_EQ(f.saved().readString(s("Porvix"), s("Password"), s("<missing>")), s(wanted));
    }
    // With nobody to show the dialog it counts as cancelled.
    f.settings.Password = s("kept");
    f.setPassword = nullptr;
    f.window->onSetPasswordClicked();
    EXPECT_EQ(f.settings.Password, s("kept"));
}

TEST(PasswordCheck, OutcomesAndMessages)
{
    struct Case {
        const char *password;
        std::optional<const char *> typed;
        bool passes;
        bool invalidMessage;
        int prompts;
    };
    const Case cases[] = {
        {"", "anything", true, false, 0},
        {"Secret", "Secret", true, false, 1},
        {"Secret", "secret", false, true, 1},
        {"Secret", "", false, false, 1},
        {"Secret", std::nullopt, false, false, 1},
    };
    for (const Case &c : cases) {
        ShellFixture f;
        f.enterPassword = typing(c.typed);
        const bool passed = pvx::shell::checkPassword(s(c.password), [&f](EnterPasswordForm &form) {
            ++f.passwordPrompts;
            f.enterPassword(form);
        }, f.dialogs, f.strings);
        EXPECT_EQ(passed, c.passes) << c.password << " / " << c.typed.value_or("(cancel)");
        EXPECT_EQ(f.passwordPrompts, c.prompts);
        ASSERT_EQ(f.dialogs.messages.size(), c.invalidMessage ? 1 : 0);
        if (c.invalidMessage) {
            EXPECT_EQ(f.dialogs.messages.first().text, s("Invalid password"));
        }
    }
}

TEST(PasswordCheck, EnterDialogKeepsItsBuiltInTexts)
{
    EnterPasswordForm form;
    EXPECT_EQ(form.caption(), s("Porvix Password"));
    EXPECT_EQ(form.passwordLabel.caption(), s("Enter Password:"));
    EXPECT_EQ(form.okButton.caption(), s("OK"));
    EXPECT_EQ(form.cancelButton.caption(), s("Cancel"));
}

TEST(PasswordCheck, RestoringTheMinimisedWindow)
{
    ShellFixture f(pvx::resources::Language::Japanese);
    WindowPlacement shown;
    f.window->setPlacementSource([&shown] { return shown; });
    std::vector<std::pair<const char *, int>> requests;
    QObject::connect(f.window.get(), &pvx::shell::MainWindow::visibilityRequested,
                     [&requests](bool visible) { requests.emplace_back("visible", visible ? 1 : 0); });
    QObject::connect(f.window.get(), &pvx::shell::MainWindow::windowStateRequested,
                     [&requests, &shown](int state) {
                         requests.emplace_back("state", state);
                         shown.state = state;
                     });
    const auto minimiseThenRestore = [&] {
        requests.clear();
        shown.state = pvx::shell::kStateMinimized;
        f.window->onWindowStateChanged();
        EXPECT_TRUE(f.window->WindowWasMinimized);
        shown.state = pvx::shell::kStateNormal;
        f.window->onWindowStateChanged();
    };

    // No password: no dialog, and the flag stays.
    minimiseThenRestore();
    EXPECT_EQ(f.passwordPrompts, 0);
    EXPECT_TRUE(requests.empty());
    EXPECT_TRUE(f.window->WindowWasMinimized);

    f.settings.Password = s("Secret");
    f.enterPassword = typing("secreT");
    minimiseThenRestore();
    EXPECT_EQ(f.passwordPrompts, 1);
    EXPECT_EQ(requests, (std::vector<std::pair<const char *, int>>{{"visible", 0}, {"state", 1}, {"visible", 1}}));
    EXPECT_TRUE(f.window->WindowWasMinimized);
    ASSERT_EQ(f.dialogs.messages.size(), 1);
    EXPECT_EQ(f.dialogs.messages.first().text, f.strings.text(5065));

    f.enterPassword = typing("Secret");
    minimiseThenRestore();
    EXPECT_EQ(requests, (std::vector<std::pair<const char *, int>>{{"visible", 0}, {"state", 0}, {"visible", 1}}));
    EXPECT_FALSE(f.window->WindowWasMinimized);

    // Restored and not minimised since: a resize asks nothing.
    f.window->onWindowStateChanged();
    EXPECT_EQ(f.passwordPrompts, 2);
}

TEST(PasswordCheck, ExitFromTheNotificationAreaNeedsThePassword)
{
    ShellFixture f;
    f.start();
    int closed = 0;
    QObject::connect(f.window.get(), &pvx::shell::MainWindow::closed, [&closed] { ++closed; });
    f.settings.Password = s("pw");
    f.enterPassword = typing("wrong");
    f.window->onTrayExitClicked();
    EXPECT_EQ(closed, 0);
    EXPECT_EQ(f.sessions.size(), 1u);
    f.enterPassword = typing(std::nullopt);
    f.window->onTrayExitClicked();
    EXPECT_EQ(closed, 0);
    f.enterPassword = typing("pw");
    f.window->onTrayExitClicked();
    EXPECT_EQ(closed, 1);
}
