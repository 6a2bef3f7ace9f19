#include "core/ini_document.h"
#include "session/session_options.h"

#include "support/shell_fixture.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <functional>

using pvx::testing::s;
using pvx::testing::ShellFixture;

namespace {

const QString kProgram = QStringLiteral("Porvix");

QString value(const pvx::core::IniDocument &document, const char *section, const char *key)
{
    return document.readString(QLatin1String(section), QLatin1String(key), QStringLiteral("<missing>"));
}

} // namespace

TEST(ProfileSave, NewFileHoldsEveryKeyInItsOrder)
{
    ShellFixture f;
    f.window->getprofilesettings({});
    ASSERT_TRUE(f.window->writeprofilesettings({}));
    const auto saved = f.saved();
    EXPECT_EQ(saved.keys(kProgram),
              (QStringList{s("MainLeft"), s("MainTop"), s("MainWidth"), s("MainHeight"), s("NumSessions"),
                           s("WindowState"), s("OnErrorRunApp"), s("LogErrors"), s("LoadWithWindows"),
                           s("PingEnabled"), s("PingFrequency"), s("PingTimeout"), s("PacketSize"), s("Password")}));
    EXPECT_EQ(saved.keys(s("Session1")),
              (QStringList{s("Connector"), s("BaudRate"), s("Parity"), s("Databits"), s("Stopbits"),
                           s("FlowControl"), s("BufferSize"), s("CreateVirtualPort"), s("UseUDP"),
                           s("BufferSerialData"), s("LocalIP"), s("IPAddress"), s("PortNumber"), s("TCPOption"),
                           s("AutoActivate"), s("WaitForCr"), s("TimeoutValue"), s("AllowMultiConnect"),
                           s("ServerSerialOptions"), s("ServerTCPOptions"), s("ClientOptions"),
                           s("ConnectOnVirtualOpen"), s("UserPrompt"), s("UserPromptResponse"), s("PasswordPrompt"),
                           s("PasswordPromptResponse"), s("SessionDescription")}));
    EXPECT_EQ(value(saved, "Porvix", "NumSessions"), s("1"));
    EXPECT_EQ(value(saved, "Session1", "BaudRate"), s("6"));
    EXPECT_EQ(value(saved, "Session1", "PortNumber"), s("1000"));
    EXPECT_EQ(value(saved, "Session1", "LocalIP"), s("192.0.2.10"));
    EXPECT_EQ(value(saved, "Session1", "ConnectOnVirtualOpen"), s("0"));
}

TEST(ProfileSave, WhatIsSavedLoadsBackTheSame)
{
    ShellFixture f;
    f.writeDefault("; kept\r\n[Porvix]\r\nNumSessions=2\r\nMainLeft=1500\r\nPassword=pw\r\nPacketSize=512\r\n"
                   "[Session1]\r\nConnector=7\r\nBaudRate=12\r\nParity=1\r\nDatabits=2\r\nStopbits=2\r\n"
                   "FlowControl=3\r\nBufferSize=9\r\nCreateVirtualPort=1\r\nLocalIP=127.0.0.1\r\nPortNumber=4001\r\n"
                   "TCPOption=1\r\nServerTCPOptions=2\r\nUserPrompt=who?\r\nSessionDescription=Weigh bridge\r\nRFC2217=1\r\n"
                   "TLS=1\r\nTLSKey=k.pem\r\nTLSVerifyPeer=2\r\nAllowFrom=10.0.0.0/8 ::1\r\nTraceFile=t.txt\r\nTraceBytes=0\r\n"
                   "[Session2]\r\nIPAddress=host.example\r\nTimeoutValue=900\r\nWaitForCr=1\r\n");
    f.window->getprofilesettings({});
    ASSERT_TRUE(f.window->writeprofilesettings(s("/tmp/copy.pvx")));
    EXPECT_TRUE(f.files.files.value(s("/tmp/copy.pvx")).endsWith("\r\n"));

    ShellFixture g;
    g.files.files[QLatin1String(ShellFixture::kDefaultFile)] = f.files.files.value(s("/tmp/copy.pvx"));
    g.window->getprofilesettings({});
    ASSERT_EQ(g.sessions.size(), 2u);
    EXPECT_EQ(g.settings, f.settings);
    EXPECT_EQ(g.window->currentPlacement(), f.window->currentPlacement());
    for (std::size_t i = 0; i < 2; ++i) {
        const auto &a = f.sessionWindow(i);
        const auto &b = g.sessionWindow(i);
        for (std::size_t list = 0; list < a.serialLists().size(); ++list)
            EXPECT_EQ(a.serialLists()[list]->selectedIndex(), b.serialLists()[list]->selectedIndex());
        EXPECT_EQ(a.connector.selectedIndex(), b.connector.selectedIndex());
        EXPECT_EQ(a.useVirtualPort.value(), b.useVirtualPort.value());
        EXPECT_EQ(a.waitForTimeout.value(), b.waitForTimeout.value());
        EXPECT_EQ(a.localAddress.text(), b.localAddress.text());
        EXPECT_EQ(a.remoteHost.text(), b.remoteHost.text());
        EXPECT_EQ(a.portNumber.text(), b.portNumber.text());
        EXPECT_EQ(a.timeoutValue.text(), b.timeoutValue.text());
        EXPECT_EQ(a.serverRoleButton.value(), b.serverRoleButton.value());
        EXPECT_EQ(a.options, b.options);
        EXPECT_EQ(a.caption(), b.caption());
    }
    EXPECT_EQ(g.sessionWindow(0).caption(), s("Weigh bridge"));
}

TEST(ProfileSave, NewerKeysAreWrittenLastAndOnlyOnceUsed)
{
    using Options = pvx::session::SessionOptions;
    struct Case {
        const char *stored; // the Session1 lines of the loaded file
        const char *key;
        std::function<void(Options &)> set; // null: saved as loaded
        const char *saved;                  // the key's value after the save; null: no key
    };
    const Case cases[] = {
        {"Connector=1\r\n", "RFC2217", nullptr, nullptr},
        {"Connector=1\r\n", "RFC2217", [](Options &o) { o.Rfc2217 = 1; }, "1"},
        {"Connector=1\r\nRFC2217=1\r\n", "RFC2217", [](Options &o) { o.Rfc2217 = 0; }, "0"},
        {"Connector=1\r\nRFC2217=7\r\n", "RFC2217", nullptr, "0"},
        {"Connector=1\r\n", "TLS", nullptr, nullptr},
        {"Connector=1\r\n", "TLS", [](Options &o) { o.Tls = 1; }, "1"},
        {"Connector=1\r\nTLS=2\r\n", "TLS", nullptr, "0"},
        {"Connector=1\r\n", "TLSCertificate", [](Options &o) { o.TlsCertificate = s("tls/cert.pem"); }, "tls/cert.pem"},
        {"Connector=1\r\nTLSKey=key.pem\r\n", "TLSKey", nullptr, "key.pem"},
        {"Connector=1\r\nTLSKey=key.pem\r\n", "TLSKey", [](Options &o) { o.TlsKey.clear(); }, ""},
        {"Connector=1\r\n", "TLSTrust", [](Options &o) { o.TlsTrust = s("/etc/porvix/ca"); }, "/etc/porvix/ca"},
        {"Connector=1\r\n", "TLSVerifyPeer", nullptr, nullptr},
        {"Connector=1\r\n", "TLSVerifyPeer", [](Options &o) { o.TlsVerifyPeer = 2; }, "2"},
        {"Connector=1\r\nTLSVerifyPeer=0\r\n", "TLSVerifyPeer", nullptr, "0"},
        {"Connector=1\r\nTLSVerifyPeer=5\r\n", "TLSVerifyPeer", nullptr, "1"},
        {"Connector=1\r\n", "AllowFrom", nullptr, nullptr},
        {"Connector=1\r\n", "AllowFrom", [](Options &o) { o.AllowFrom = s("10.0.0.0/8, ::1"); }, "10.0.0.0/8, ::1"},
        {"Connector=1\r\nAllowFrom=192.0.2.1 ::1\r\n", "AllowFrom", nullptr, "192.0.2.1 ::1"},
        {"Connector=1\r\n", "TraceFile", nullptr, nullptr},
        {"Connector=1\r\n", "TraceFile", [](Options &o) { o.TraceFile = s("trace-COM1.txt"); }, "trace-COM1.txt"},
        {"Connector=1\r\n", "TraceBytes", nullptr, nullptr},
        {"Connector=1\r\n", "TraceBytes", [](Options &o) { o.TraceBytes = 0; }, "0"},
        {"Connector=1\r\nTraceBytes=3\r\n", "TraceBytes", nullptr, "1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.key) + " from " + c.stored);
        ShellFixture f;
        f.writeDefault(QByteArray("[Porvix]\r\nNumSessions=1\r\n[Session1]\r\n") + c.stored);
        f.window->getprofilesettings({});
        if (c.set)
            c.set(f.sessionWindow(0).options);
        ASSERT_TRUE(f.window->writeprofilesettings({}));
        const QStringList keys = f.saved().keys(s("Session1"));
        if (!c.saved) {
            EXPECT_EQ(keys.size(), 27) << "none of the newer keys is written";
            continue;
        }
        // A new key comes after all the others; a stored one keeps its line.
        EXPECT_EQ(keys.indexOf(s(c.key)), QByteArray(c.stored).contains(c.key) ? 1 : keys.size() - 1);
        EXPECT_EQ(value(f.saved(), "Session1", c.key), s(c.saved));
    }
}

TEST(ProfileSave, WritesInPlaceAndKeepsWhatItDoesNotOwn)
{
    ShellFixture f;
    f.writeDefault("# my ports\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\n[Porvix]\r\nNumSessions=5\r\nVirtualPortDir=/srv/vp\r\n"
                   "[Session5]\r\nConnector=9\r\n[Session1]\r\nConnector=1\r\nExtra=keep me\r\n");
    f.window->getprofilesettings({});
    ASSERT_EQ(f.sessions.size(), 5u);
    f.sessions.close(f.sessions.at(4));
    f.sessions.close(f.sessions.at(3));
    f.sessions.close(f.sessions.at(2));
    ASSERT_TRUE(f.window->writeprofilesettings({}));

    const QByteArray bytes = f.files.files.value(QLatin1String(ShellFixture::kDefaultFile));
    EXPECT_TRUE(bytes.startsWith("# my ports\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\n[Porvix]\r\nNumSessions=2\r\n"));
    const auto saved = f.saved();
    EXPECT_EQ(value(saved, "Porvix", "VirtualPortDir"), s("/srv/vp"));
    EXPECT_EQ(value(saved, "Session5", "Connector"), s("9")) << "sections above NumSessions stay";
    EXPECT_EQ(value(saved, "Session1", "Extra"), s("keep me"));

    ShellFixture g;
    g.files.files[QLatin1String(ShellFixture::kDefaultFile)] = bytes;
    g.window->getprofilesettings({});
    EXPECT_EQ(g.sessions.size(), 2u);
}

TEST(ProfileSave, ServerRoleTimeoutTextAndActiveSessions)
{
    ShellFixture f;
    f.writeDefault("[Porvix]\nNumSessions=3\n[Session1]\nTCPOption=2\n[Session2]\n[Session3]\n");
    f.window->getprofilesettings({});
    f.sessionWindow(0).timeoutValue.setText(s("abc"));
    f.sessionWindow(1).timeoutValue.setText(s("250ms"));
    f.sessionWindow(2).timeoutValue.setText(s(" 12.5"));
    f.sessionWindow(1).connector.select(2);
    f.sessionWindow(1).remoteHost.setText(s("127.0.0.1"));
    f.sessions.at(1).toggleActive();
    ASSERT_TRUE(f.sessions.at(1).isActive());
    ASSERT_TRUE(f.window->writeprofilesettings({}));

    const auto saved = f.saved();
    EXPECT_EQ(value(saved, "Session1", "TCPOption"), s("1"));
    EXPECT_EQ(value(saved, "Session2", "TCPOption"), s("0"));
    EXPECT_EQ(value(saved, "Session1", "TimeoutValue"), s("0"));
    EXPECT_EQ(value(saved, "Session2", "TimeoutValue"), s("250"));
    EXPECT_EQ(value(saved, "Session3", "TimeoutValue"), s("12.5"));
    EXPECT_EQ(value(saved, "Session1", "AutoActivate"), s("0"));
    EXPECT_EQ(value(saved, "Session2", "AutoActivate"), s("1"));
}

TEST(ProfileSave, MinimisedWindowKeepsTheStoredGeometry)
{
    ShellFixture f;
    f.writeDefault("[Porvix]\nMainLeft=11\nMainTop=22\nMainWidth=33\nMainHeight=44\n");
    f.window->getprofilesettings({});
    pvx::shell::WindowPlacement shown{150, 300, 6000, 4500, pvx::shell::kStateMinimized};
    f.window->setPlacementSource([&shown] { return shown; });
    ASSERT_TRUE(f.window->writeprofilesettings({}));
    auto saved = f.saved();
    EXPECT_EQ(value(saved, "Porvix", "MainLeft"), s("11"));
    EXPECT_EQ(value(saved, "Porvix", "MainHeight"), s("44"));
    EXPECT_EQ(value(saved, "Porvix", "WindowState"), s("1"));

    shown.state = pvx::shell::kStateMaximized;
    ASSERT_TRUE(f.window->writeprofilesettings({}));
    saved = f.saved();
    EXPECT_EQ(value(saved, "Porvix", "MainLeft"), s("150"));
    EXPECT_EQ(value(saved, "Porvix", "MainHeight"), s("4500"));
    EXPECT_EQ(value(saved, "Porvix", "WindowState"), s("2"));
}

TEST(ProfileSave, HeadlessWritesBackTheGeometryItRead)
{
    ShellFixture f;
    f.writeDefault("[Porvix]\nMainLeft=-7\nMainTop=22\nMainWidth=33\nMainHeight=44\nWindowState=2\n");
    f.window->getprofilesettings({});
    ASSERT_TRUE(f.window->writeprofilesettings({}));
    const auto saved = f.saved();
    EXPECT_EQ(value(saved, "Porvix", "MainLeft"), s("-7"));
    EXPECT_EQ(value(saved, "Porvix", "MainWidth"), s("33"));
    EXPECT_EQ(value(saved, "Porvix", "WindowState"), s("2"));
}

TEST(ProfileSave, LogonEntryFollowsTheSettingAtEverySave)
{
    ShellFixture f;
    f.window->getprofilesettings({});
    f.settings.LoadWithWindows = 1;
    ASSERT_TRUE(f.window->writeprofilesettings({}));
    EXPECT_EQ(f.autostart.entry, s("\"/opt/porvix/porvix\""));
    f.settings.LoadWithWindows = 0;
    ASSERT_TRUE(f.window->writeprofilesettings({}));
    EXPECT_FALSE(f.autostart.isEnabled());
    EXPECT_EQ(f.autostart.disableCalls, 1);

    // A logon entry that cannot be written never stops the save.
    f.settings.LoadWithWindows = 1;
    f.autostart.fails = true;
    EXPECT_TRUE(f.window->writeprofilesettings({}));
    EXPECT_TRUE(f.dialogs.messages.isEmpty());
}

TEST(ProfileSave, AFailedSaveKeepsTheOldFileAndSaysSo)
{
    ShellFixture f;
    f.writeDefault("[Porvix]\nNumSessions=1\nPassword=old\n");
    f.window->getprofilesettings({});
    f.settings.Password = s("new");
    f.files.failing.insert(QLatin1String(ShellFixture::kDefaultFile));
    EXPECT_FALSE(f.window->writeprofilesettings({}));
    EXPECT_EQ(f.files.files.value(QLatin1String(ShellFixture::kDefaultFile)),
              QByteArray("[Porvix]\nNumSessions=1\nPassword=old\n"));
    ASSERT_EQ(f.dialogs.messages.size(), 1);
    EXPECT_TRUE(f.dialogs.messages.first().text.contains(s("refused")));
}
