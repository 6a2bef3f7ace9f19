#include "core/ini_document.h"

#include "support/shell_fixture.h"
#include "support/text.h"

#include <gtest/gtest.h>

using pvx::testing::s;
using pvx::testing::ShellFixture;

namespace {

// Two client sessions on connectors 1 and 2 (fake serial ports), both stored
// as active, and one inactive one between them.
const char *kThreeSessions = "[Porvix]\nNumSessions=3\n"
                             "[Session1]\nConnector=1\nIPAddress=127.0.0.1\nAutoActivate=1\n"
                             "[Session2]\nConnector=2\nIPAddress=127.0.0.1\n"
                             "[Session3]\nConnector=3\nIPAddress=127.0.0.1\nAutoActivate=1\n";

} // namespace

TEST(Startup, FirstTickLocalisesLoadsActivatesAndShows)
{
    ShellFixture f;
    f.writeDefault(kThreeSessions);
    int shown = 0;
    QObject::connect(f.window.get(), &pvx::shell::MainWindow::showRequested, [&shown] { ++shown; });
    f.window->scheduleStartup();
    EXPECT_EQ(f.timer1().interval(), 1000);
    EXPECT_EQ(f.window->fileMenu.caption(), s("2102")) << "captions come with the start-up";
    EXPECT_EQ(f.sessions.size(), 0u);

    f.timer1().fire();
    EXPECT_EQ(f.window->fileMenu.caption(), s("&File"));
    EXPECT_EQ(f.window->homePageItem.caption(), s("Porvix on the &Web"));
    EXPECT_EQ(f.timer1().interval(), 60000);
    ASSERT_EQ(f.sessions.size(), 3u);
    EXPECT_TRUE(f.sessions.at(0).isActive());
    EXPECT_FALSE(f.sessions.at(1).isActive());
    EXPECT_TRUE(f.sessions.at(2).isActive());
    EXPECT_EQ(f.sessionWindow(0).caption(), s("COM1 - RS232 to TCP/IP"));
    EXPECT_EQ(f.window->AutoActivateFlags, (std::vector<qint16>{0, 0, 0, 0, 0}));
    EXPECT_EQ(f.virtualPort(0).resetBusCalls, 1);
    EXPECT_EQ(f.virtualPort(1).resetBusCalls, 0);
    EXPECT_TRUE(f.window->StartupDone);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(f.files.temporaryCleanups, QStringList{s("/home/porvix")});

    f.timer1().fire();
    EXPECT_EQ(shown, 1) << "the start-up runs once";
    EXPECT_EQ(f.sessions.size(), 3u);
}

TEST(Startup, ActivatesInFileOrder)
{
    ShellFixture f;
    f.writeDefault(kThreeSessions);
    std::vector<QString> order;
    QObject::connect(&f.sessions, &pvx::shell::SessionList::created, [&order](pvx::session::Session &session) {
        QObject::connect(&session.window().activateButton, &pvx::core::Control::changed, [&order, &session] {
            if (session.isActive() && (order.empty() || order.back() != session.window().caption()))
                order.push_back(session.window().caption());
        });
    });
    f.start();
    EXPECT_EQ(order, (std::vector<QString>{s("COM1 - RS232 to TCP/IP"), s("COM3 - RS232 to TCP/IP")}));
}

TEST(Startup, CommandLineFileIsLoadedButExitSavesToTheDefaultFile)
{
    ShellFixture f(pvx::resources::Language::English, s("/srv/site.pvx"));
    f.writeFile(s("/srv/site.pvx"), kThreeSessions);
    f.start();
    ASSERT_EQ(f.sessions.size(), 3u);
    EXPECT_TRUE(f.sessions.at(0).isActive());

    int closing = 0;
    QObject::connect(f.window.get(), &pvx::shell::MainWindow::closing, [&closing, &f] {
        EXPECT_EQ(f.sessions.size(), 3u) << "closing() comes before anything is closed";
        ++closing;
    });
    int closed = 0;
    QObject::connect(f.window.get(), &pvx::shell::MainWindow::closed, [&closed, &f] {
        EXPECT_EQ(f.sessions.size(), 0u) << "sessions close after the save, before closed()";
        ++closed;
    });
    f.window->onFileExitClicked();
    f.window->close();
    EXPECT_EQ(closing, 1);
    EXPECT_EQ(closed, 1);
    const auto saved = f.saved();
    EXPECT_EQ(saved.readInt(s("Porvix"), s("NumSessions"), 0), 3);
    EXPECT_EQ(saved.readInt(s("Session1"), s("AutoActivate"), 0), 1);
    EXPECT_EQ(saved.readInt(s("Session2"), s("AutoActivate"), 0), 0);
    EXPECT_EQ(f.files.files.value(s("/srv/site.pvx")), QByteArray(kThreeSessions));
}

TEST(Startup, FileOpenReplacesSessionsWithoutActivatingAndExitSavesToTheDefaultFile)
{
    ShellFixture f;
    f.start();
    f.writeFile(s("/data/other.pvx"), kThreeSessions);
    f.dialogs.nextFileName = s("/data/other.pvx");
    f.window->onFileOpenClicked();
    ASSERT_EQ(f.dialogs.fileDialogs.size(), 1);
    EXPECT_EQ(f.dialogs.fileDialogs.first().filter, s("Porvix Files (*.PVX)|*.pvx|All Files (*.*)|*.*"));
    EXPECT_EQ(f.window->CurrentFileName, s("/data/other.pvx"));
    ASSERT_EQ(f.sessions.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_FALSE(f.sessions.at(i).isActive());

    f.window->close();
    f.window->close();
    EXPECT_EQ(f.saved().readInt(s("Porvix"), s("NumSessions"), 0), 3);
    EXPECT_EQ(f.files.files.value(s("/data/other.pvx")), QByteArray(kThreeSessions));
    EXPECT_EQ(f.dialogs.closeAllCalls, 1) << "dialogs close first, once";
}

TEST(Startup, SaveSaveAsNewAndClose)
{
    ShellFixture f;
    f.start();
    f.window->onFileSaveClicked();
    ASSERT_EQ(f.dialogs.fileDialogs.size(), 1) << "Save without a current file is Save As";
    EXPECT_EQ(f.dialogs.fileDialogs.first().defaultExtension, s("pvx"));
    EXPECT_TRUE(f.window->CurrentFileName.isEmpty()) << "a cancelled Save As changes nothing";

    f.dialogs.nextFileName = s("/data/mine.pvx");
    f.window->onFileSaveAsClicked();
    EXPECT_EQ(f.window->CurrentFileName, s("/data/mine.pvx"));
    EXPECT_TRUE(f.files.files.contains(s("/data/mine.pvx")));

    f.window->onFileNewClicked();
    ASSERT_EQ(f.sessions.size(), 2u);
    f.window->onFileSaveClicked();
    EXPECT_EQ(f.dialogs.fileDialogs.size(), 2) << "Save with a current file asks nothing";
    EXPECT_EQ(f.saved(s("/data/mine.pvx")).readInt(s("Porvix"), s("NumSessions"), 0), 2);

    pvx::session::Session *active = &f.sessions.at(0);
    f.window->setActiveSessionSource([&active] { return active; });
    f.window->onFileMenuOpened();
    EXPECT_TRUE(f.window->fileCloseItem.isEnabled());
    f.window->onFileCloseClicked();
    ASSERT_EQ(f.sessions.size(), 1u);
    active = &f.sessions.at(0);
    f.window->onFileCloseClicked();
    active = nullptr;
    f.window->onFileCloseClicked();
    f.window->onFileMenuOpened();
    EXPECT_FALSE(f.window->fileCloseItem.isEnabled());
}

TEST(Startup, HelpContentsAndTheWebPage)
{
    ShellFixture f;
    f.window->onHelpContentsClicked();
    f.window->onHomePageClicked();
    EXPECT_EQ(f.desktop.opened,
              (QStringList{s("file:///opt/porvix/manual.html"), s("https://porvix.example.org/")}));
    EXPECT_TRUE(f.dialogs.messages.isEmpty());

    f.desktop.opens = false;
    f.window->onHelpContentsClicked();
    ASSERT_EQ(f.dialogs.messages.size(), 1);
    EXPECT_TRUE(f.dialogs.messages.first().text.contains(s("/opt/porvix/manual.html")));
}

TEST(Startup, ItemsOfLaterWorkAreNotOffered)
{
    ShellFixture f;
    for (const auto *item : {&f.window->helpSearchItem})
        EXPECT_FALSE(item->isVisible()) << item->name().toStdString();
    EXPECT_FALSE(f.window->helpSearchItem.isEnabled());
}

TEST(Startup, ToolsMenuOpensThePingAndResolverWindows)
{
    ShellFixture f;
    f.start();
    EXPECT_EQ(f.window->pingToolItem.caption(), s("&Ping IP Address..."));
    f.settings.PingTimeout = 9;
    f.resolver.addresses.insert(s("localhost"), s("127.0.0.1"));
    QStringList opened;
    f.pingTool = [&](pvx::tools::PingForm &form) {
        // The window pings with the time-out the global options hold now.
        form.address.setText(s("localhost"));
        form.onPingClicked();
        f.resolver.resolveAll();
        opened.append(form.name() + QString::number(f.echo.pending.first().timeoutMs));
    };
    f.resolveTool = [&](pvx::tools::ResolveForm &form) { opened.append(form.name()); };
    for (auto *item : {&f.window->toolsMenu, &f.window->pingToolItem, &f.window->resolveToolItem}) {
        EXPECT_TRUE(item->isVisible()) << item->name().toStdString();
        if (item->onClick)
            item->onClick();
    }
    EXPECT_EQ(opened, (QStringList{s("frmPing1000"), s("frmResolve")}));
    EXPECT_TRUE(f.echo.pending.isEmpty()) << "a closed window leaves no echo behind";
}

TEST(Startup, ACloseBeforeTheStartupKeepsTheFile)
{
    ShellFixture f;
    f.writeDefault(kThreeSessions);
    f.window->scheduleStartup();
    int closed = 0;
    QObject::connect(f.window.get(), &pvx::shell::MainWindow::closed, [&closed] { ++closed; });
    f.window->close();
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(f.files.files.value(QLatin1String(ShellFixture::kDefaultFile)), QByteArray(kThreeSessions));
    f.timer1().fire();
    EXPECT_EQ(f.sessions.size(), 0u) << "a closed window never starts up";
}

namespace {

using Files = QMap<QString, QByteArray>;

const QString kDefault = QLatin1String(ShellFixture::kDefaultFile);
const QString kBackup = kDefault + QStringLiteral(".bak");

// One run of the program over `files`: start (with the command-line file, if
// any), File Open `openFile` (if any), exit. Returns the messages shown.
QStringList runProgram(Files &files, const QString &commandLineFile = {}, const QString &openFile = {})
{
    ShellFixture f(pvx::resources::Language::English, commandLineFile);
    f.files.files = files;
    f.start();
    if (!openFile.isEmpty()) {
        f.dialogs.nextFileName = openFile;
        f.window->onFileOpenClicked();
    }
    f.window->close();
    files = f.files.files;
    QStringList messages;
    for (const auto &message : f.dialogs.messages)
        messages.append(message.text);
    return messages;
}

} // namespace

TEST(Startup, TheDefaultFileIsKeptBeforeSessionsFromElsewhereReplaceIt)
{
    const QByteArray original = "[Ports]\nCOM3=/dev/ttyUSB0\nCOM5=/dev/ttyUSB1\n[Porvix]\nNumSessions=1\n"
                                "[Session1]\nConnector=3\n";
    const QByteArray site = QByteArray(kThreeSessions).replace("[Porvix]\n", "[Porvix]\nVirtualPortDir=/srv/vp\n")
                            + "[Ports]\nCOM3=/dev/serial/by-id/x\n";
    Files files{{kDefault, original}, {s("/data/site.pvx"), site}};

    // A first start has nothing to keep; a run of the default file needs no copy.
    Files fresh;
    runProgram(fresh);
    EXPECT_FALSE(fresh.contains(kBackup));
    runProgram(fresh);
    EXPECT_FALSE(fresh.contains(kBackup));

    const QStringList messages = runProgram(files, s("/data/mistyped.pvx"));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(s("/data/mistyped.pvx")));
    EXPECT_EQ(files.value(kBackup), original);
    EXPECT_EQ(ShellFixture::parsed(files).readInt(s("Session1"), s("Connector"), -1), 0);
    EXPECT_EQ(ShellFixture::parsed(files).readString(s("Ports"), s("COM3"), {}), s("/dev/ttyUSB0"))
        << "a load that read nothing keeps the file's ports";

    // Until the default file loads again, the copy stays as it is.
    runProgram(files, s("/data/mistyped.pvx"));
    runProgram(files, s("/data/site.pvx"));
    EXPECT_EQ(files.value(kBackup), original);

    runProgram(files);
    EXPECT_EQ(files.value(kBackup), original) << "sessions from the default file need no copy";
    const QByteArray beforeOpen = files.value(kDefault);
    runProgram(files, {}, s("/data/site.pvx"));
    EXPECT_EQ(files.value(kBackup), beforeOpen);

    // A run that loads the default file releases the copy for the next failing run.
    runProgram(files);
    const QByteArray beforeMistype = files.value(kDefault);
    runProgram(files, s("/data/mistyped.pvx"));
    EXPECT_EQ(files.value(kBackup), beforeMistype);
    runProgram(files, s("/data/mistyped.pvx"));
    EXPECT_EQ(files.value(kBackup), beforeMistype);
    runProgram(files, {}, s("/data/site.pvx"));

    // The saved sessions go with the ports of the file they came from.
    const auto saved = ShellFixture::parsed(files);
    EXPECT_EQ(saved.readInt(s("Porvix"), s("NumSessions"), 0), 3);
    const auto ports = pvx::core::readPortMap(saved, [](const char *) { return QString(); }, 1000);
    EXPECT_EQ(ports.devices, (QHash<int, QString>{{3, s("/dev/serial/by-id/x")}}));
    EXPECT_EQ(ports.virtualPortDirectory, s("/srv/vp"));
    EXPECT_FALSE(files.value(kDefault).contains("/run/user/1000")) << "derived defaults are never written";
}

TEST(Startup, NoSaveReplacesTheDefaultFileWhenItCannotBeKept)
{
    Files files{{kDefault, QByteArray("[Porvix]\nNumSessions=2\n")}, {s("/data/site.pvx"), QByteArray(kThreeSessions)}};
    ShellFixture f(pvx::resources::Language::English, s("/data/site.pvx"));
    f.files.files = files;
    f.files.failing.insert(kBackup);
    f.start();
    EXPECT_FALSE(f.window->writeprofilesettings({}));
    EXPECT_EQ(f.files.files.value(kDefault), files.value(kDefault));
    ASSERT_EQ(f.dialogs.messages.size(), 1);
    EXPECT_TRUE(f.dialogs.messages.first().text.contains(kBackup));
}
