#include "core/ini_document.h"
#include "shell/program_profile.h"
#include "shell/session_profile.h"

#include "support/shell_fixture.h"
#include "support/text.h"

#include <gtest/gtest.h>

using pvx::testing::s;
using pvx::testing::ShellFixture;
using pvx::shell::WindowPlacement;

TEST(ProfileLoad, MissingFileGivesOneBlankSessionAndEveryDefault)
{
    ShellFixture f;
    f.settings.PacketSize = 77;
    f.window->getprofilesettings({});
    ASSERT_EQ(f.sessions.size(), 1u);
    EXPECT_EQ(f.sessionWindow(0).caption(), s("New - RS232 to TCP/IP"));
    EXPECT_EQ(f.window->currentPlacement(), WindowPlacement{});
    EXPECT_EQ(f.settings, pvx::session::ProgramSettings{});
    EXPECT_TRUE(f.dialogs.messages.isEmpty());
}

TEST(ProfileLoad, GarbageNoSectionsAndLongLinesReadAsDefaults)
{
    QByteArray garbage;
    for (int i = 0; i < 5000; ++i)
        garbage.append(static_cast<char>((i * 131 + 7) % 256));
    const QByteArray cases[] = {
        garbage,
        QByteArray("NumSessions=5\r\nMainLeft=1\r\n"),
        QByteArray("[Porvix]\r\nNumSessions=") + QByteArray(1 << 20, '9') + "\r\nMainTop=" + QByteArray(1 << 20, 'x'),
        QByteArray("[Porvix\r\n]\r\n[[[\r\n=\r\n==\r\n"),
    };
    for (const QByteArray &bytes : cases) {
        ShellFixture f;
        f.files.files[QLatin1String(ShellFixture::kDefaultFile)] = bytes;
        f.window->getprofilesettings({});
        EXPECT_GE(f.sessions.size(), 1u);
        EXPECT_LE(f.sessions.size(), static_cast<std::size_t>(pvx::shell::MainWindow::kMaxSessions));
    }
}

TEST(ProfileLoad, MissingSessionSectionsTakeEveryDefaultAndEmptyTexts)
{
    ShellFixture f;
    f.writeDefault("[Porvix]\nNumSessions=3\n[Session1]\nConnector=4\nPortNumber=2001\nIPAddress=10.1.1.1\n");
    f.window->getprofilesettings({});
    ASSERT_EQ(f.sessions.size(), 3u);
    EXPECT_EQ(f.sessionWindow(0).connector.text(), s("COM4"));
    EXPECT_EQ(f.sessionWindow(0).linkTopic(), s("COM4"));
    for (std::size_t i = 1; i < 3; ++i) {
        const auto &w = f.sessionWindow(i);
        EXPECT_EQ(w.connector.selectedIndex(), 0);
        EXPECT_EQ(w.baudRate.selectedIndex(), 0) << "BaudRate defaults to position 0";
        EXPECT_EQ(w.bufferSize.text(), s("8192"));
        EXPECT_EQ(w.timeoutValue.text(), s("150"));
        EXPECT_EQ(w.options.AllowMultiConnect, 1);
        EXPECT_EQ(w.options.ConnectOnVirtualOpen, 1);
        EXPECT_EQ(w.options.UserPrompt, s("Username:"));
        EXPECT_EQ(w.options.PasswordPrompt, s("Password:"));
        EXPECT_EQ(w.portNumber.text(), QString()) << "the empty default replaces the window's 1000";
        EXPECT_EQ(w.remoteHost.text(), QString());
        EXPECT_EQ(w.localAddress.text(), QString());
        EXPECT_EQ(w.caption(), s("New - RS232 to TCP/IP"));
    }
}

TEST(ProfileLoad, RolesDescriptionsAndOptionFields)
{
    ShellFixture f;
    const QString longName(250, QLatin1Char('n'));
    f.writeDefault(("[Porvix]\nNumSessions=2\n"
                    "[Session1]\nTCPOption=2\nLocalIP=127.0.0.1\nServerSerialOptions=65538\nClientOptions=-1\n"
                    "UserPrompt=login:\nSessionDescription=" + longName.toStdString() + "\n"
                    "[Session2]\nTCPOption=0\nWaitForCr=1\nTimeoutValue=-20\nBufferSerialData=1\nUseUDP=1\n")
                       .c_str());
    f.window->getprofilesettings({});
    const auto &server = f.sessionWindow(0);
    EXPECT_EQ(server.serverRoleButton.value(), 1);
    EXPECT_EQ(server.clientRoleButton.value(), 0);
    EXPECT_FALSE(server.remoteHost.isVisible());
    EXPECT_TRUE(server.localAddress.isVisible());
    EXPECT_EQ(server.remoteHostLabel.caption(), s("Local IP Address"));
    EXPECT_EQ(server.remotePortLabel.caption(), s("Local Port"));
    EXPECT_EQ(server.options.ServerSerialOptions, 2) << "only the low 16 bits count";
    EXPECT_EQ(server.options.ClientOptions, -1);
    EXPECT_EQ(server.options.UserPrompt, s("login:"));
    EXPECT_EQ(server.caption(), longName.left(199));
    EXPECT_TRUE(server.isNamed());

    const auto &client = f.sessionWindow(1);
    EXPECT_EQ(client.clientRoleButton.value(), 1);
    EXPECT_TRUE(client.remoteHost.isVisible());
    EXPECT_EQ(client.remoteHostLabel.caption(), s("Remote Host IP Address"));
    EXPECT_EQ(client.waitForTimeout.value(), 1);
    EXPECT_EQ(client.timeoutValue.text(), s("-20"));
    EXPECT_EQ(client.bufferWhileClosed.value(), 1);
    EXPECT_EQ(client.useUdp.value(), 1);
    EXPECT_FALSE(client.isNamed());
}

TEST(ProfileLoad, ValuesAWindowCannotTakeAreSkipped)
{
    ShellFixture f;
    f.writeDefault("[Porvix]\nNumSessions=1\nMainLeft=-300\nMainTop=99999999\nMainWidth=-5\nMainHeight=0x7fffffff\n"
                   "WindowState=7\n"
                   "[Session1]\nConnector=1025\nBaudRate=-2\nParity=99\nDatabits=-1\nBufferSize=16\n"
                   "CreateVirtualPort=2\nUseUDP=-1\n");
    f.window->getprofilesettings({});
    const WindowPlacement placement = f.window->currentPlacement();
    EXPECT_EQ(placement.left, -300);
    EXPECT_EQ(placement.top, 99999999);
    EXPECT_EQ(placement.width, 7000) << "a negative width keeps the current one";
    EXPECT_EQ(placement.height, 0x7fffffff);
    EXPECT_EQ(placement.state, 0) << "an unknown state keeps the current one";

    const auto &w = f.sessionWindow(0);
    EXPECT_EQ(w.connector.selectedIndex(), 0);
    EXPECT_EQ(w.baudRate.text(), s("9600"));
    EXPECT_EQ(w.parity.selectedIndex(), 0);
    EXPECT_EQ(w.dataBits.selectedIndex(), -1) << "-1 clears the choice, as a list allows";
    EXPECT_EQ(w.bufferSize.text(), s("8192"));
    EXPECT_EQ(w.useVirtualPort.value(), 0);
    EXPECT_EQ(w.useUdp.value(), 0);
}

TEST(ProfileLoad, SessionCountIsCappedAndReportedOnce)
{
    ShellFixture f;
    f.writeDefault("[Porvix]\nNumSessions=100000\n[Session1024]\nAutoActivate=1\n");
    f.window->getprofilesettings({});
    EXPECT_EQ(f.sessions.size(), 1024u);
    ASSERT_EQ(f.dialogs.messages.size(), 1);
    EXPECT_TRUE(f.dialogs.messages.first().text.contains(s("1024")));
    EXPECT_EQ(f.window->AutoActivateFlags.size(), 1026u);
    EXPECT_EQ(f.window->AutoActivateFlags[1024], 1);
}

TEST(ProfileLoad, ZeroOrNegativeSessionCountGivesOneBlankSession)
{
    for (const char *text : {"[Porvix]\nNumSessions=0\n", "[Porvix]\nNumSessions=-4\n[Session1]\nConnector=3\n"}) {
        ShellFixture f;
        f.writeDefault(text);
        f.window->getprofilesettings({});
        ASSERT_EQ(f.sessions.size(), 1u) << text;
        EXPECT_EQ(f.sessionWindow(0).connector.selectedIndex(), 0) << text;
    }
}

TEST(ProfileLoad, ProgramSettingsAndThePortMapAreReadAtEveryLoad)
{
    ShellFixture f;
    f.writeDefault("[Porvix]\nPassword=  secret\nOnErrorRunApp=notify-send x\nLogErrors=1\nPingEnabled=1\n"
                   "PingFrequency=99\nPingTimeout=-3\nPacketSize=0\nLoadWithWindows=1\nWindowState=2\n"
                   "VirtualPortDir=/tmp/vp\n[Ports]\nCOM3=/dev/ttyUSB0\n");
    f.window->getprofilesettings({});
    EXPECT_EQ(f.settings.Password, s("secret"));
    EXPECT_EQ(f.settings.OnErrorRunApp, s("notify-send x"));
    EXPECT_EQ(f.settings.LogErrors, 1);
    EXPECT_EQ(f.settings.PingEnabled, 1);
    EXPECT_EQ(f.settings.PingFrequency, 99) << "no range check while loading";
    EXPECT_EQ(f.settings.PingTimeout, -3);
    EXPECT_EQ(f.settings.PacketSize, 0);
    EXPECT_EQ(f.settings.LoadWithWindows, 1);
    EXPECT_EQ(f.window->currentPlacement().state, 2);
    EXPECT_EQ(f.ports.deviceFor(3), s("/dev/ttyUSB0"));
    EXPECT_EQ(f.ports.virtualPortDirectory, s("/tmp/vp"));

    f.writeFile(s("/tmp/other.pvx"), "[Porvix]\nNumSessions=1\n");
    f.window->getprofilesettings(s("/tmp/other.pvx"));
    EXPECT_EQ(f.ports.deviceFor(3), s("/dev/ttyS2"));
    EXPECT_EQ(f.ports.virtualPortDirectory, s("/run/user/1000/porvix"));
    EXPECT_EQ(f.settings.Password, QString());
}

TEST(ProfileLoad, LoadingReplacesEverySessionAndNeverActivates)
{
    ShellFixture f;
    f.window->createSession();
    f.window->createSession();
    f.writeFile(s("/tmp/a.pvx"), "[Porvix]\nNumSessions=1\n[Session1]\nConnector=0\nAutoActivate=1\n");
    f.window->getprofilesettings(s("/tmp/a.pvx"));
    ASSERT_EQ(f.sessions.size(), 1u);
    EXPECT_FALSE(f.sessions.at(0).isActive());
    EXPECT_EQ(f.window->AutoActivateFlags, (std::vector<qint16>{0, 1, 0}));
}

TEST(ProfileLoad, AFileThatCannotBeReadIsReportedUnlessTheDefaultIsMissing)
{
    const QString other = s("/data/site.pvx");
    const struct {
        const char *name;
        QString path;        // the file loaded
        bool unreadable;     // present but refused, as a folder or a locked file is
        bool reported;
    } cases[] = {
        {"missing default file", {}, false, false},
        {"unreadable default file", {}, true, true},
        {"missing named file", other, false, true},
        {"unreadable named file", other, true, true},
    };
    for (const auto &c : cases) {
        ShellFixture f;
        if (c.unreadable)
            f.files.unreadable.insert(c.path.isEmpty() ? QLatin1String(ShellFixture::kDefaultFile) : c.path);
        f.window->getprofilesettings(c.path);
        EXPECT_EQ(f.sessions.size(), 1u) << c.name;
        ASSERT_EQ(f.dialogs.messages.size(), c.reported ? 1 : 0) << c.name;
        if (c.reported) {
            const QString text = f.dialogs.messages.first().text;
            EXPECT_TRUE(text.contains(c.path.isEmpty() ? QLatin1String(ShellFixture::kDefaultFile) : c.path)) << c.name;
            EXPECT_TRUE(text.contains(c.unreadable ? s("Permission denied") : s("not found"))) << c.name;
        }
    }
}

TEST(ProfileLoad, BufferSizesOffTheListTakeTheDefaultPosition)
{
    const struct {
        const char *stored;
        int position;
    } cases[] = {{"-1", 2}, {"-2", 2}, {"16", 2}, {"2147483647", 2}, {"0", 0}, {"15", 15}, {"", 2}, {"abc", 0}};
    for (const auto &c : cases) {
        ShellFixture f;
        f.writeDefault((std::string("[Porvix]\nNumSessions=1\n[Session1]\nBufferSize=") + c.stored + "\n").c_str());
        f.window->getprofilesettings({});
        EXPECT_EQ(f.sessionWindow(0).bufferSize.selectedIndex(), c.position) << c.stored;
    }
}

TEST(ProfileLoad, SkippedPlacementValuesKeepTheWindowAsItStands)
{
    ShellFixture f;
    f.writeDefault("[Porvix]\nMainWidth=3000\nWindowState=2\n");
    f.window->getprofilesettings({});
    const WindowPlacement shown{150, 300, 6000, 4500, pvx::shell::kStateNormal};
    f.window->setPlacementSource([&shown] { return shown; });

    f.writeFile(s("/data/odd.pvx"), "[Porvix]\nMainLeft=15\nMainWidth=-5\nMainHeight=-1\nWindowState=7\n");
    WindowPlacement applied;
    QObject::connect(f.window.get(), &pvx::shell::MainWindow::placementChanged,
                     [&applied](const WindowPlacement &placement) { applied = placement; });
    f.dialogs.nextFileName = s("/data/odd.pvx");
    f.window->onFileOpenClicked();
    EXPECT_EQ(applied, (WindowPlacement{15, 1000, 6000, 4500, pvx::shell::kStateNormal}));
}

TEST(ProfileLoad, AFileWithThePasswordThatOthersCanReadIsNamedOnce)
{
    const struct {
        const char *text;
        int mode;
        bool warned;
    } cases[] = {
        {"[Porvix]\nPassword=secret\n", 0644, true},
        {"[Porvix]\nPassword=secret\n", 0640, true},
        {"[Porvix]\nPassword=secret\n", 0604, true},
        {"[Porvix]\nPassword=secret\n", 0600, false},
        {"[Porvix]\nPassword=\n", 0644, false},
    };
    for (const auto &c : cases) {
        ShellFixture f;
        f.writeDefault(c.text);
        f.files.modes[QLatin1String(ShellFixture::kDefaultFile)] = c.mode;
        f.window->getprofilesettings({});
        ASSERT_EQ(f.dialogs.notices.size(), c.warned ? 1 : 0) << c.text << c.mode;
        if (c.warned) {
            EXPECT_EQ(f.dialogs.notices.first().text,
                      s("/home/porvix/default.pvx holds the access password and other users can read it (mode %1); "
                        "Porvix saves it readable by you alone.")
                          .arg(c.mode, 4, 8, QLatin1Char('0')));
        }
    }
}
