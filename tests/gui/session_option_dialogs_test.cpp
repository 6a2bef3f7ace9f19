#include "gui/session_option_dialogs.h"

#include "resources/string_table.h"
#include "session/client_options_form.h"
#include "session/login_options_form.h"
#include "session/server_options_form.h"
#include "support/key_press.h"
#include "support/text.h"
#include "support/widget_lookup.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

using pvx::testing::child;
using pvx::testing::s;

TEST(SessionOptionDialogs, ClicksReachTheModelAndEscFollowsEachDialog)
{
    const pvx::resources::StringTable strings(pvx::resources::Language::English);

    pvx::session::ServerOptionsForm server(strings, {1, 0, 2});
    pvx::gui::ServerOptionsDialog serverView(server);
    serverView.show();
    EXPECT_EQ(serverView.windowTitle(), s("Server I/O Options"));
    EXPECT_TRUE(child<QRadioButton>(serverView, "OptionTCP2").isChecked());
    child<QRadioButton>(serverView, "OptionSerial1").click();
    child<QCheckBox>(serverView, "chkMultiClients").click();
    pvx::testing::pressEscape(serverView);
    EXPECT_FALSE(serverView.isVisible());
    EXPECT_FALSE(server.result()) << "Esc is Cancel here";

    pvx::session::ClientOptionsForm client(strings, {0, 0});
    pvx::gui::ClientOptionsDialog clientView(client);
    clientView.show();
    child<QRadioButton>(clientView, "Option12").click();
    child<QCheckBox>(clientView, "chkConnectOnVirtualPort").click();
    child<QCheckBox>(clientView, "chkRfc2217").click();
    pvx::testing::pressEscape(clientView);
    EXPECT_FALSE(clientView.isVisible());
    EXPECT_EQ(client.result(), (pvx::session::ClientIoOptions{2, 1, 1})) << "Esc is OK here";

    pvx::session::LoginOptionsForm login({s("Username:"), {}, s("Password:"), s("hidden?")});
    pvx::gui::LoginOptionsDialog loginView(login);
    loginView.show();
    QLineEdit &response = child<QLineEdit>(loginView, "txtPasswordPromptResponse");
    EXPECT_EQ(response.echoMode(), QLineEdit::Normal);
    EXPECT_EQ(response.text(), s("hidden?"));
    pvx::testing::pressEscape(loginView);
    EXPECT_TRUE(loginView.isVisible()) << "Esc does nothing here";
    child<QPushButton>(loginView, "btnOK").click();
    EXPECT_FALSE(loginView.isVisible());
    ASSERT_TRUE(login.result());
    EXPECT_EQ(login.result()->PasswordPromptResponse, s("hidden?"));
}

TEST(SessionOptionDialogs, TheCloseBoxGivesNothingBack)
{
    const pvx::resources::StringTable strings(pvx::resources::Language::English);
    pvx::session::ClientOptionsForm client(strings, {0, 0});
    pvx::gui::ClientOptionsDialog clientView(client);
    clientView.show();
    child<QRadioButton>(clientView, "Option11").click();
    clientView.close();
    EXPECT_FALSE(client.isLoaded());
    EXPECT_FALSE(client.result());
}
