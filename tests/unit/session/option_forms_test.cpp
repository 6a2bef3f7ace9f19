#include "session/client_options_form.h"
#include "session/login_options_form.h"
#include "session/server_options_form.h"

#include "fakes/fake_dialogs.h"
#include "resources/string_table.h"
#include "support/form_endings.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <functional>

using pvx::resources::Language;
using pvx::resources::StringTable;
using pvx::session::ClientIoOptions;
using pvx::session::ClientOptionsForm;
using pvx::session::LoginOptions;
using pvx::session::LoginOptionsForm;
using pvx::session::ServerIoOptions;
using pvx::session::ServerOptionsForm;
using pvx::testing::Ending;
using pvx::testing::s;

namespace {

enum class Outcome {
    Edited,
    Nothing,
    StillOpen,
};

// Every control changed, then the dialog ended; what came back must be the
// edit or nothing at all.
template <typename Form>
Outcome endAfterEdit(Form &form, const typename Form::Value &edited, pvx::core::Control &ok,
                     pvx::core::Control &cancel, Ending ending)
{
    pvx::testing::endForm(form, ok, cancel, ending);
    if (form.isLoaded())
        return Outcome::StillOpen;
    if (!form.result())
        return Outcome::Nothing;
    EXPECT_TRUE(*form.result() == edited);
    return Outcome::Edited;
}

Outcome serverDialog(Ending ending)
{
    const StringTable strings(Language::English);
    pvx::fakes::FakeDialogs dialogs;
    ServerOptionsForm form(strings, dialogs, {1, 0, 2, 0});
    form.multipleClientsBox.setValue(0);
    form.networkDataButtons[1].setValue(1);
    form.serialDataButtons[2].setValue(1);
    form.rfc2217Box.setValue(1);
    return endAfterEdit(form, {0, 2, 1, 1}, form.okButton, form.cancelButton, ending);
}

Outcome clientDialog(Ending ending)
{
    const StringTable strings(Language::English);
    pvx::fakes::FakeDialogs dialogs;
    ClientOptionsForm form(strings, dialogs, {0, 1, 1});
    form.directionButtons[2].setValue(1);
    form.connectOnVirtualOpenBox.setValue(0);
    form.rfc2217Box.setValue(0);
    return endAfterEdit(form, {2, 0, 0}, form.okButton, form.cancelButton, ending);
}

Outcome loginDialog(Ending ending)
{
    LoginOptionsForm form({s("Username:"), {}, s("Password:"), {}});
    form.userPrompt.setText(s("login:"));
    form.userResponse.setText(s("operator"));
    form.passwordResponse.setText(s("s3cret"));
    return endAfterEdit(form, {s("login:"), s("operator"), s("Password:"), s("s3cret")}, form.okButton,
                        form.cancelButton, ending);
}

} // namespace

TEST(SessionOptionForms, OnlyOkGivesBackTheEditAndEscIsEachDialogsOwn)
{
    struct Case {
        const char *dialog;
        std::function<Outcome(Ending)> run;
        Outcome ok, cancel, escape, closeBox;
    };
    const Case cases[] = {
        {"server", serverDialog, Outcome::Edited, Outcome::Nothing, Outcome::Nothing, Outcome::Nothing},
        {"client", clientDialog, Outcome::Edited, Outcome::Nothing, Outcome::Edited, Outcome::Nothing},
        {"login", loginDialog, Outcome::Edited, Outcome::Nothing, Outcome::StillOpen, Outcome::Nothing},
    };
    for (const Case &c : cases) {
        const std::pair<Ending, Outcome> expected[] = {
            {Ending::Ok, c.ok}, {Ending::Cancel, c.cancel}, {Ending::Escape, c.escape}, {Ending::CloseBox, c.closeBox}};
        for (const auto &[ending, outcome] : expected)
            EXPECT_EQ(c.run(ending), outcome) << c.dialog << " / " << pvx::testing::endingName(ending);
    }
}

TEST(SessionOptionForms, StoredChoicesShowAndUnchangedOnesComeBackAsTheyWere)
{
    const StringTable strings(Language::English);
    pvx::fakes::FakeDialogs dialogs;
    struct Case {
        ServerIoOptions stored;
        int ticked;
        int tcpButton;
        int serialButton;
    };
    const Case cases[] = {
        {{1, 0, 2}, 1, 2, 0},
        {{0, 1, 0}, 0, 0, 1},
        // A value no button stands for selects none and survives OK.
        {{2, 7, -1}, 0, -1, -1},
    };
    for (const Case &c : cases) {
        ServerOptionsForm form(strings, dialogs, c.stored);
        EXPECT_EQ(form.multipleClientsBox.value(), c.ticked);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(form.networkDataButtons[static_cast<std::size_t>(i)].value(), i == c.tcpButton ? 1 : 0);
            EXPECT_EQ(form.serialDataButtons[static_cast<std::size_t>(i)].value(), i == c.serialButton ? 1 : 0);
        }
        form.onOkClicked();
        ASSERT_TRUE(form.result());
        EXPECT_EQ(form.result()->ServerSerialOptions, c.stored.ServerSerialOptions);
        EXPECT_EQ(form.result()->ServerTCPOptions, c.stored.ServerTCPOptions);
    }

    ClientOptionsForm client(strings, dialogs, {1, 1});
    EXPECT_EQ(client.directionButtons[1].value(), 1);
    EXPECT_EQ(client.connectOnVirtualOpenBox.value(), 1);
    client.directionButtons[0].setValue(1);
    EXPECT_EQ(client.directionButtons[1].value(), 0) << "one choice at a time";
}

TEST(SessionOptionForms, CaptionsFollowTheLanguageExceptTheLoginDialogs)
{
    for (const Language language : {Language::English, Language::Japanese}) {
        const StringTable strings(language);
        pvx::fakes::FakeDialogs dialogs;
        ServerOptionsForm server(strings, dialogs, {});
        EXPECT_EQ(server.caption(), strings.text(5019));
        EXPECT_EQ(server.networkDataButtons[2].caption(), strings.text(5024));
        EXPECT_EQ(server.serialDataFrame.caption(), strings.text(5025));
        EXPECT_EQ(server.cancelButton.caption(), strings.text(1208));
        ClientOptionsForm client(strings, dialogs, {});
        EXPECT_EQ(client.caption(), strings.text(5013));
        EXPECT_EQ(client.connectOnVirtualOpenBox.caption(), strings.text(5018));
        EXPECT_EQ(server.rfc2217Box.caption(), strings.text(5140));
        EXPECT_EQ(client.rfc2217Box.caption(), strings.text(5140));
    }
    EXPECT_EQ(StringTable(Language::English).text(5140), s("RFC 2217 (remote serial settings)"));
    EXPECT_EQ(StringTable(Language::English).text(5024),
              s("Transmit inbound TCP/IP data from first connected client only"));
    LoginOptionsForm login({});
    EXPECT_EQ(login.caption(), s("Client Login Options"));
    EXPECT_EQ(login.passwordResponseLabel.caption(), s("Password Prompt Response:"));
    EXPECT_EQ(login.cancelButton.caption(), s("&Cancel"));
}
