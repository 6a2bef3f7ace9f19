#include "gui/session_option_dialogs.h"

#include "fakes/fake_dialogs.h"
#include "resources/string_table.h"
#include "session/client_options_form.h"
#include "session/login_options_form.h"
#include "session/server_options_form.h"
#include "support/key_press.h"
#include "support/text.h"
#include "support/widget_lookup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <optional>

using pvx::testing::child;
using pvx::testing::s;

TEST(SessionOptionDialogs, ClicksReachTheModelAndEscFollowsEachDialog)
{
    const pvx::resources::StringTable strings(pvx::resources::Language::English);
    pvx::fakes::FakeDialogs dialogs;

    pvx::session::ServerOptionsForm server(strings, dialogs, {1, 0, 2});
    pvx::gui::ServerOptionsDialog serverView(server);
    serverView.show();
    EXPECT_EQ(serverView.windowTitle(), s("Server I/O Options"));
    EXPECT_TRUE(child<QRadioButton>(serverView, "OptionTCP2").isChecked());
    child<QRadioButton>(serverView, "OptionSerial1").click();
    child<QCheckBox>(serverView, "chkMultiClients").click();
    pvx::testing::pressEscape(serverView);
    EXPECT_FALSE(serverView.isVisible());
    EXPECT_FALSE(server.result()) << "Esc is Cancel here";

    pvx::session::ClientOptionsForm client(strings, dialogs, {0, 0});
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
    pvx::fakes::FakeDialogs dialogs;
    pvx::session::ClientOptionsForm client(strings, dialogs, {0, 0});
    pvx::gui::ClientOptionsDialog clientView(client);
    clientView.show();
    child<QRadioButton>(clientView, "Option11").click();
    clientView.close();
    EXPECT_FALSE(client.isLoaded());
    EXPECT_FALSE(client.result());
}

namespace {

using pvx::session::SecurityOptions;

// What a user does in the security controls of one I/O options dialog.
struct SecurityCase {
    const char *name;
    bool server;
    bool udp;
    SecurityOptions stored;
    bool tickTls;
    const char *chosenKey;  // picked with the key's browse button; null: not browsed
    int peerCheck;          // chosen entry; -1: left alone
    const char *allowFrom;  // typed; null: left alone
    bool tlsFieldsOpen;     // after the edit
    bool allowFromShown;
    std::optional<SecurityOptions> saved;  // none: OK refuses the list
};

// Shows `c.stored` through the view, checks it, edits, presses OK and
// returns what the dialog gave back.
template <typename Form, typename Dialog>
std::optional<SecurityOptions> editSecurity(const SecurityCase &c)
{
    const pvx::resources::StringTable strings(pvx::resources::Language::English);
    pvx::fakes::FakeDialogs dialogs;
    typename Form::Value stored;
    stored.Security = c.stored;
    Form form(strings, dialogs, stored, c.udp);
    Dialog view(form);
    view.show();
    auto &tls = child<QCheckBox>(view, "chkTls");
    EXPECT_EQ(tls.isChecked(), c.stored.Tls == 1) << c.name;
    EXPECT_EQ(tls.isEnabled(), !c.udp) << c.name << ": TLS rides on TCP only";
    EXPECT_EQ(child<QLineEdit>(view, "txtTlsCertificate").text(), c.stored.TlsCertificate) << c.name;
    EXPECT_EQ(child<QLineEdit>(view, "txtAllowFrom").text(), c.stored.AllowFrom) << c.name;
    if (c.tickTls)
        tls.click();
    if (c.chosenKey) {
        dialogs.nextFileName = s(c.chosenKey);
        child<QPushButton>(view, "btnTlsKey").click();
    }
    auto &peerCheck = child<QComboBox>(view, "cboTlsVerifyPeer");
    if (c.peerCheck >= 0) {
        peerCheck.setCurrentIndex(c.peerCheck);
        emit peerCheck.activated(c.peerCheck);
    }
    auto &allowFrom = child<QLineEdit>(view, "txtAllowFrom");
    if (c.allowFrom) {
        allowFrom.setText(s(c.allowFrom));
        emit allowFrom.textEdited(allowFrom.text());
    }
    EXPECT_EQ(child<QLineEdit>(view, "txtTlsKey").isEnabled(), c.tlsFieldsOpen) << c.name;
    EXPECT_EQ(peerCheck.isEnabled(), c.tlsFieldsOpen) << c.name;
    EXPECT_EQ(allowFrom.isVisible(), c.allowFromShown) << c.name;
    child<QPushButton>(view, "Command1").click();
    EXPECT_EQ(view.isVisible(), !c.saved) << c.name;
    EXPECT_EQ(dialogs.messages.size(), c.saved ? 0 : 1) << c.name;
    if (!c.saved && !dialogs.messages.isEmpty()) {
        EXPECT_TRUE(dialogs.messages[0].text.contains(s("10.0.0.0/33"))) << c.name;
    }
    if (!form.result())
        return std::nullopt;
    return form.result()->Security;
}

} // namespace

TEST(SessionOptionDialogs, SecuritySettingsShowComeBackAndABadAddressListIsRefused)
{
    const SecurityOptions server{1, s("server.pem"), s("server.key"), s("ca"), 2, s("127.0.0.1")};
    const SecurityOptions plain{};
    const SecurityCase cases[] = {
        {"server: every field edited", true, false, server, false, "/srv/other.key", 0, "10.0.0.0/8 ::1", true, true,
         SecurityOptions{1, s("server.pem"), s("/srv/other.key"), s("ca"), 0, s("10.0.0.0/8 ::1")}},
        {"server: TLS turned off keeps the files", true, false, server, true, nullptr, -1, nullptr, false, true,
         SecurityOptions{0, s("server.pem"), s("server.key"), s("ca"), 2, s("127.0.0.1")}},
        {"server: a bad range stays on screen", true, false, server, false, nullptr, -1, "::1, 10.0.0.0/33", true,
         true, std::nullopt},
        {"server over UDP: no TLS, the list still counts", true, true, plain, false, nullptr, -1, "10.0.0.0/33", false,
         true, std::nullopt},
        {"client: TLS on, the check turned off", false, false, plain, true, nullptr, 1, nullptr, true, false,
         SecurityOptions{1, {}, {}, {}, 0, {}}},
        {"client: a check left as stored keeps its value", false, false,
         SecurityOptions{1, {}, {}, {}, 2, {}}, false, "c.key", -1, nullptr, true, false,
         SecurityOptions{1, {}, s("c.key"), {}, 2, {}}},
        {"client over UDP: the list shows", false, true, plain, false, nullptr, -1, "192.0.2.0/24", false, true,
         SecurityOptions{0, {}, {}, {}, 1, s("192.0.2.0/24")}},
    };
    for (const SecurityCase &c : cases) {
        const auto saved = c.server
                               ? editSecurity<pvx::session::ServerOptionsForm, pvx::gui::ServerOptionsDialog>(c)
                               : editSecurity<pvx::session::ClientOptionsForm, pvx::gui::ClientOptionsDialog>(c);
        EXPECT_EQ(saved, c.saved) << c.name;
    }
}
