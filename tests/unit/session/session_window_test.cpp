#include "session/session_window.h"

#include "session/client_options_form.h"
#include "session/login_options_form.h"
#include "session/server_options_form.h"
#include "support/form_endings.h"
#include "support/session_fixture.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <functional>

using pvx::testing::s;

using pvx::testing::SessionFixture;

TEST(SessionWindow, NewWindowShowsTheDefaults)
{
    SessionFixture f;
    auto &w = f.window();
    EXPECT_EQ(w.connector.text(), s("None"));
    EXPECT_EQ(w.connector.items().size(), 1025);
    EXPECT_EQ(w.connector.items().last(), s("COM1024"));
    EXPECT_EQ(w.baudRate.text(), s("9600"));
    EXPECT_EQ(w.parity.text(), s("None"));
    EXPECT_EQ(w.parity.items().at(1), s("Even"));
    EXPECT_EQ(w.dataBits.text(), s("8"));
    EXPECT_EQ(w.stopBits.text(), s("1"));
    EXPECT_EQ(w.flowControl.text(), s("None"));
    EXPECT_EQ(w.bufferSize.text(), s("8192"));
    EXPECT_EQ(w.timeoutValue.text(), s("150"));
    EXPECT_EQ(w.portNumber.text(), s("1000"));
    EXPECT_EQ(w.remoteHost.text(), QString());
    for (const auto *box : {&w.useUdp, &w.useVirtualPort, &w.bufferWhileClosed, &w.waitForTimeout})
        EXPECT_EQ(box->value(), 0) << box->name().toStdString();

    EXPECT_EQ(w.clientRoleButton.value(), 1);
    EXPECT_TRUE(w.remoteHost.isVisible());
    EXPECT_FALSE(w.localAddress.isVisible());
    EXPECT_EQ(w.remoteHostLabel.caption(), s("Remote Host IP Address"));
    EXPECT_EQ(w.remotePortLabel.caption(), s("Remote Port"));
    EXPECT_EQ(w.activateButton.caption(), s("Activate"));
    EXPECT_EQ(w.statusLine(pvx::session::StatusLine::Serial).caption(), s("COM Status:"));
    EXPECT_EQ(w.statusLine(pvx::session::StatusLine::Network).caption(), s("TCP/IP Status:"));
    EXPECT_EQ(w.networkFrame.caption(), s("TCP/IP Port"));
    EXPECT_EQ(w.useUdp.caption(), s("Use UDP instead of TCP/IP"));
    EXPECT_FALSE(w.loginOptionsButton.isEnabled());
    EXPECT_EQ(w.linkTopic(), s("None"));

    EXPECT_EQ(w.options.AllowMultiConnect, 1);
    EXPECT_EQ(w.options.ConnectOnVirtualOpen, 0);
    EXPECT_FALSE(w.isActive());
}

TEST(SessionWindow, ListsLocalAddressesAndPicksTheFirstReachableOne)
{
    SessionFixture f;
    EXPECT_EQ(f.window().localAddress.items(), (QStringList{s("127.0.0.1"), s("192.0.2.10")}));
    EXPECT_EQ(f.window().machineAddress, s("192.0.2.10"));
    EXPECT_EQ(f.window().localAddress.text(), s("192.0.2.10"));
    EXPECT_TRUE(f.window().serverRoleButton.isEnabled());
}

TEST(SessionWindow, LocalAddressListIsBuiltAfreshKeepingTheText)
{
    SessionFixture f;
    auto &w = f.window();
    const std::function<void()> rebuilds[] = {
        [&w] { w.onLocalAddressDropDown(); },
        [&w] {
            w.clientRoleButton.setValue(1);
            w.serverRoleButton.setValue(1);
        },
    };
    for (const auto &rebuild : rebuilds) {
        f.network.addresses = {s("127.0.0.1"), s("198.51.100.7"), s("198.51.100.7"), s("203.0.113.1")};
        w.localAddress.setText(s("10.0.0.5"));
        rebuild();
        EXPECT_EQ(w.localAddress.items(), (QStringList{s("127.0.0.1"), s("198.51.100.7"), s("203.0.113.1")}));
        EXPECT_EQ(w.localAddress.text(), s("10.0.0.5"));
        EXPECT_EQ(w.localAddress.selectedIndex(), -1);

        // An address that went away leaves the list, but not the box.
        f.network.addresses = {s("127.0.0.1")};
        w.localAddress.setText(s("203.0.113.1"));
        rebuild();
        EXPECT_EQ(w.localAddress.items(), QStringList{s("127.0.0.1")});
        EXPECT_EQ(w.localAddress.text(), s("203.0.113.1"));
    }
}

TEST(SessionWindow, LoopbackOnlyMachineServesOnLoopback)
{
    SessionFixture f;
    f.network.addresses = {s("127.0.0.1")};
    pvx::session::SessionWindow w({f.strings, f.dialogs, f.network, {}});
    EXPECT_EQ(w.machineAddress, s("127.0.0.1"));
    EXPECT_TRUE(w.serverRoleButton.isEnabled());
}

TEST(SessionWindow, MachineWithoutAddressesCanOnlyBeAClient)
{
    SessionFixture f;
    f.network.addresses.clear();
    pvx::session::SessionWindow w({f.strings, f.dialogs, f.network, {}});
    EXPECT_TRUE(w.machineAddress.isEmpty());
    EXPECT_FALSE(w.serverRoleButton.isEnabled());
    EXPECT_EQ(w.role(), pvx::session::Role::Client);
}

TEST(SessionWindow, StoredOptionNumbersReadAsTheirChoicesAndUnknownOnesAsTheFirst)
{
    using pvx::session::ClientIo;
    using pvx::session::ServerSerial;
    using pvx::session::ServerTcp;
    const struct {
        qint16 stored;
        ServerSerial serial;
        ServerTcp tcp;
        ClientIo client;
    } cases[] = {
        {0, ServerSerial::AllClients, ServerTcp::AllClients, ClientIo::TwoWay},
        {1, ServerSerial::Ignore, ServerTcp::Ignore, ClientIo::NoSerialOutput},
        {2, ServerSerial::FirstClientOnly, ServerTcp::FirstClientOnly, ClientIo::NoNetworkOutput},
        {3, ServerSerial::AllClients, ServerTcp::AllClients, ClientIo::TwoWay},
        {-1, ServerSerial::AllClients, ServerTcp::AllClients, ClientIo::TwoWay},
    };
    SessionFixture f;
    auto &w = f.window();
    for (const auto &c : cases) {
        w.options.ServerSerialOptions = c.stored;
        w.options.ServerTCPOptions = c.stored;
        w.options.ClientOptions = c.stored;
        EXPECT_EQ(w.serverSerial(), c.serial) << c.stored;
        EXPECT_EQ(w.serverTcp(), c.tcp) << c.stored;
        EXPECT_EQ(w.clientIo(), c.client) << c.stored;
        w.options.AllowMultiConnect = c.stored;
        EXPECT_EQ(w.allowMultipleClients(), c.stored != 0) << c.stored;
    }
}

TEST(SessionWindow, ConnectorChoiceSetsTheLinkTopic)
{
    SessionFixture f;
    auto &w = f.window();
    EXPECT_TRUE(w.connector.select(12));
    EXPECT_EQ(w.connector.text(), s("COM12"));
    EXPECT_EQ(w.linkTopic(), s("COM12"));

    w.connector.setText(s("COM3"));
    EXPECT_EQ(w.connector.selectedIndex(), 3);
    w.connector.setText(s("ttyUSB0"));
    EXPECT_EQ(w.connector.selectedIndex(), -1);
    EXPECT_FALSE(w.connector.select(1025));
}

TEST(SessionWindow, PortAboveTheRangeIsReportedAtEveryChangeThatLeavesItAbove)
{
    const struct {
        const char *typed;
        int boxes;
    } cases[] = {{"70000", 1}, {"700000", 2}, {"65535", 0}, {"-5", 0}, {"abc", 0}};
    for (const auto &c : cases) {
        SessionFixture f;
        f.window().portNumber.setText(QString());
        const QString typed = s(c.typed);
        for (qsizetype i = 1; i <= typed.size(); ++i)
            f.window().portNumber.setText(typed.left(i));
        ASSERT_EQ(f.dialogs.messages.size(), c.boxes) << c.typed;
        if (c.boxes > 0) {
            EXPECT_EQ(f.dialogs.messages[0].text, s("Port numbers must range between 0 and 65565"));
            EXPECT_EQ(f.dialogs.messages[0].title, s("Error"));
        }
        EXPECT_EQ(f.window().portNumber.text(), typed);
    }
}

TEST(SessionWindow, RoleSwitchShowsTheMatchingAddressField)
{
    SessionFixture f;
    auto &w = f.window();
    w.serverRoleButton.setValue(1);
    EXPECT_EQ(w.clientRoleButton.value(), 0);
    EXPECT_FALSE(w.remoteHost.isVisible());
    EXPECT_TRUE(w.localAddress.isVisible());
    EXPECT_EQ(w.remoteHostLabel.caption(), s("Local IP Address"));
    EXPECT_EQ(w.remotePortLabel.caption(), s("Local Port"));
    w.clientRoleButton.setValue(1);
    EXPECT_EQ(w.remoteHostLabel.caption(), s("Remote Host IP Address"));
}

TEST(SessionWindow, SetWindowNameKeepsTheOldNameOnEmptyOrCancel)
{
    SessionFixture f;
    auto &w = f.window();
    w.setCaption(s("New - RS232 to TCP/IP"));
    f.dialogs.inputAnswers = {s("Plant floor"), s(""), std::nullopt};
    w.onSetWindowNameClicked();
    EXPECT_EQ(w.caption(), s("Plant floor"));
    EXPECT_EQ(w.windowNameButton.tag(), s("Plant floor"));
    EXPECT_TRUE(w.isNamed());
    w.onSetWindowNameClicked();
    w.onSetWindowNameClicked();
    EXPECT_EQ(w.caption(), s("Plant floor"));
    EXPECT_EQ(w.windowNameButton.tag(), s("Plant floor"));
    ASSERT_EQ(f.dialogs.inputs.size(), 3);
    EXPECT_EQ(f.dialogs.inputs[0].title, s("Set Window Name"));
    EXPECT_EQ(f.dialogs.inputs[0].defaultText, s("New - RS232 to TCP/IP"));
}

TEST(SessionWindow, OptionButtonsOpenTheRolesDialogAndApplyWhatItGivesBack)
{
    using pvx::testing::Ending;
    SessionFixture f;
    std::vector<QString> opened;
    Ending ending = Ending::Ok;
    pvx::session::OptionDialogs dialogs{
        [&](pvx::session::ServerOptionsForm &form) {
            opened.push_back(form.name());
            EXPECT_EQ(form.networkDataButtons[2].value(), 1);
            form.multipleClientsBox.setValue(0);
            form.serialDataButtons[1].setValue(1);
            EXPECT_EQ(form.security.allowFrom.text(), s("127.0.0.1"));
            form.security.key.setText(s("k.pem"));
            form.security.allowFrom.setText(s("::1"));
            pvx::testing::endForm(form, form.okButton, form.cancelButton, ending);
        },
        [&](pvx::session::ClientOptionsForm &form) {
            opened.push_back(form.name());
            form.directionButtons[2].setValue(1);
            form.security.enabledBox.setValue(1);
            pvx::testing::endForm(form, form.okButton, form.cancelButton, ending);
        },
        [&](pvx::session::LoginOptionsForm &form) {
            opened.push_back(form.name());
            EXPECT_EQ(form.passwordPrompt.text(), s("Password:"));
            form.userPrompt.setText(s("login:"));
            pvx::testing::endForm(form, form.okButton, form.cancelButton, ending);
        },
    };
    pvx::session::SessionWindow w({f.strings, f.dialogs, f.network, dialogs});
    pvx::session::SessionOptions stored;
    stored.ServerTCPOptions = 2;
    stored.PasswordPrompt = s("Password:");
    stored.AllowFrom = s("127.0.0.1");
    for (const Ending each : pvx::testing::kEveryEnding) {
        ending = each;
        w.options = stored;
        w.serverRoleButton.setValue(1);
        w.ioOptionsButton.onClick();
        w.clientRoleButton.setValue(1);
        w.ioOptionsButton.onClick();
        w.onLoginOptionsClicked();
        pvx::session::SessionOptions expected = stored;
        if (each == Ending::Ok) {
            expected.AllowMultiConnect = 0;
            expected.ServerSerialOptions = 1;
            expected.UserPrompt = s("login:");
            expected.TlsKey = s("k.pem");
            expected.AllowFrom = s("::1");
        }
        if (each == Ending::Ok || each == Ending::Escape) {
            expected.ClientOptions = 2;
            expected.Tls = 1;
        }
        EXPECT_EQ(w.options, expected) << pvx::testing::endingName(each);
    }
    EXPECT_EQ(opened.size(), 12u);
    EXPECT_EQ(opened.at(0), s("frmServerOptions"));
    EXPECT_EQ(opened.at(1), s("frmClientOptions"));
    EXPECT_EQ(opened.at(2), s("frmLogin"));

    // Without dialogs to show (the headless face) nothing changes.
    auto &plain = f.window();
    plain.options = stored;
    plain.onIoOptionsClicked();
    plain.onLoginOptionsClicked();
    EXPECT_EQ(plain.options, stored);
}

TEST(SessionWindow, JapaneseWindowUsesJapaneseCaptions)
{
    SessionFixture f(pvx::resources::Language::Japanese);
    auto &w = f.window();
    EXPECT_EQ(w.activateButton.caption(), f.strings.text(5009));
    EXPECT_EQ(w.activateButton.caption(), f.strings.text(5087));
    EXPECT_NE(w.activateButton.caption(), s("Activate"));
    EXPECT_EQ(w.connector.text(), f.strings.text(2205));
}

TEST(SessionWindow, ListsIPv6AddressesAfterTheIPv4OnesAndKeepsAnIPv4Default)
{
    SessionFixture f;
    f.network.addresses = {s("127.0.0.1"), s("192.0.2.10")};
    f.network.ipv6Addresses = {s("::1"), s("2001:db8::7"), s("fe80::1%eth0"), s("2001:db8::7")};
    pvx::session::SessionWindow w({f.strings, f.dialogs, f.network, {}});
    EXPECT_EQ(w.localAddress.items(),
              (QStringList{s("127.0.0.1"), s("192.0.2.10"), s("::1"), s("2001:db8::7"), s("fe80::1%eth0")}));
    EXPECT_EQ(w.machineAddress, s("192.0.2.10"));
    EXPECT_EQ(w.localAddress.text(), s("192.0.2.10"));
}
