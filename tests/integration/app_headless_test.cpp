// The real program, headless, end to end: start-up from a configuration
// file, auto-activation, the bridge between its virtual port and a TCP peer
// of the test, the shutdown on SIGTERM and the save to the default file.
#include "core/ini_document.h"
#include "support/porvix_process.h"
#include "support/text.h"
#include "support/wait_until.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>

#include <sys/stat.h>
#include <unistd.h>

using namespace pvx::testing;

TEST(AppHeadless, HelpVersionAndBadArgumentsStartNothing)
{
    const struct {
        QStringList arguments;
        bool windows;
        int exitCode;
        const char *said;
    } cases[] = {
        {{s("--help")}, false, 0, "--headless"},
        {{s("-h")}, false, 0, "--headless"},
        {{s("-help")}, true, 0, "--headless"},
        {{s("-?")}, false, 0, "--headless"},
        {{s("--version")}, false, 0, "porvix "},
        {{s("--headles")}, false, 2, "unknown option --headles"},
        {{s("-v")}, false, 2, "unknown option -v"},
        {{s("-x")}, true, 2, "unknown option -x"},
        {{s("-style"), s("fusion"), s("-foo")}, true, 2, "unknown option -foo"},
    };
    for (const auto &c : cases) {
        PorvixOptions options;
        if (c.windows)
            options.environment = {{s("QT_QPA_PLATFORM"), s("offscreen")}};
        const Finished run = runPorvix(c.arguments, options);
        const std::string shown = c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(run.exitCode, c.exitCode) << shown;
        EXPECT_TRUE((c.exitCode == 0 ? run.output : run.errors).contains(s(c.said))) << shown;
    }
    // The program porvix hands headless runs to, started by hand.
    const Finished byHand = runPorvix({s("--help")}, {.runner = {s("sh"), s("-c"), s("exec \"${0%/*}/porvix-headless\" \"$@\"")}});
    EXPECT_EQ(byHand.exitCode, 2);
    EXPECT_TRUE(byHand.errors.contains(s("not by hand"))) << byHand.errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(QString::fromLocal8Bit(qgetenv("PORVIX_HOME")) + s("/default.pvx")))
        << "no run loaded or saved settings";
}

TEST(AppHeadless, AHomeThatCannotBeMadeEndsWithAMessage)
{
    QTemporaryDir root;
    writeFile(root.filePath(s("file")), "x");
    Porvix run({s("--headless"), s("--home"), root.filePath(s("file/home"))});
    ASSERT_TRUE(run.started());
    EXPECT_EQ(run.finish(), 1);
    EXPECT_TRUE(run.errors().contains(s("home folder"))) << run.errors().toStdString();
}

TEST(AppHeadless, ADisplayThatDoesNotAnswerEndsWithAMessage)
{
    // The first display number from 99 on that no X server here holds.
    int number = 99;
    while (QFileInfo::exists(s("/tmp/.X%1-lock").arg(number)) || QFileInfo::exists(s("/tmp/.X11-unix/X%1").arg(number)))
        ++number;
    const QString display = s(":%1").arg(number);
    QTemporaryDir root;
    const QString home = root.filePath(s("home"));

    Porvix run({s("--home"), home}, {.display = display});
    ASSERT_TRUE(run.started());
    EXPECT_EQ(run.finish(), 1);
    const QString said = run.errors();
    EXPECT_TRUE(said.contains(display) && said.contains(s("--headless runs Porvix without windows")))
        << said.toStdString();
    EXPECT_FALSE(QFileInfo::exists(home)) << "no instance took the home";
}

TEST(AppHeadless, BridgesTheActivatedSessionAndSavesItAtSigterm)
{
    QTemporaryDir root;
    const QString home = root.filePath(s("home"));
    const QString ports = root.filePath(s("ports"));
    ASSERT_TRUE(QDir().mkpath(home));
    QTcpServer peer;
    ASSERT_TRUE(peer.listen(QHostAddress::LocalHost, 0));
    writeFile(home + s("/default.pvx"), clientConfiguration(ports, 7, peer.serverPort()));

    // No --headless: without a display the program chooses it by itself.
    Porvix run({s("--home"), home});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(waitUntil([&] { return peer.hasPendingConnections(); }, kStart)) << run.errors().toStdString();
    QTcpSocket *connection = peer.nextPendingConnection();
    const QString device = ports + s("/COM7");
    ASSERT_TRUE(QFileInfo(device).isSymLink());

    PortUser user(device);
    ASSERT_TRUE(user.ok());
    ASSERT_TRUE(user.write("from the serial side\n"));
    QByteArray received;
    EXPECT_TRUE(waitUntil([&] {
        received += connection->readAll();
        return received.size() >= 21;
    }, kData));
    EXPECT_EQ(received, QByteArray("from the serial side\n"));

    connection->write("from the network\n");
    QByteArray written;
    EXPECT_TRUE(waitUntil([&] {
        written += user.read();
        return written.size() >= 17;
    }, kData));
    EXPECT_EQ(written, QByteArray("from the network\n"));

    run.signal(SIGTERM);
    EXPECT_EQ(run.finish(), 0) << run.errors().toStdString();

    const QString saved = home + s("/default.pvx");
    const auto document = pvx::core::IniDocument::parse(readFile(saved));
    EXPECT_EQ(document.readInt(s("Porvix"), s("NumSessions"), 0), 1);
    EXPECT_EQ(document.readInt(s("Session1"), s("AutoActivate"), 0), 1);
    EXPECT_EQ(document.readInt(s("Session1"), s("Connector"), 0), 7);
    EXPECT_EQ(document.readString(s("Porvix"), s("VirtualPortDir"), {}), ports);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(saved).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(AppHeadless, ACommandLineFileIsLoadedAndSigintSavesToTheDefaultFile)
{
    QTemporaryDir root;
    const QString home = root.filePath(s("home"));
    QTcpServer peer;
    ASSERT_TRUE(peer.listen(QHostAddress::LocalHost, 0));
    const QByteArray site = clientConfiguration(root.filePath(s("ports")), 3, peer.serverPort());
    writeFile(root.filePath(s("site one.pvx")), site);

    // A relative name counts from where the program was started.
    Porvix run({s("--headless"), s("--home"), home, s("site"), s("one.pvx")}, {.workingDirectory = root.path()});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(waitUntil([&] { return peer.hasPendingConnections(); }, kStart)) << run.errors().toStdString();
    run.signal(SIGINT);
    EXPECT_EQ(run.finish(), 0);

    EXPECT_EQ(readFile(root.filePath(s("site one.pvx"))), site) << "the named file is never written";
    const auto document = pvx::core::IniDocument::parse(readFile(home + s("/default.pvx")));
    EXPECT_EQ(document.readInt(s("Session1"), s("Connector"), 0), 3);
    EXPECT_EQ(document.readInt(s("Session1"), s("AutoActivate"), 0), 1);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(home).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "a new home is the user's only";
}

TEST(AppHeadless, AMistypedFileIsReportedAndTheDefaultFileKeptAsBackup)
{
    QTemporaryDir root;
    const QString home = root.filePath(s("home"));
    ASSERT_TRUE(QDir().mkpath(home));
    const QByteArray original = "[Ports]\r\nCOM3=/dev/ttyUSB0\r\n[Porvix]\r\nNumSessions=1\r\n[Session1]\r\nConnector=3\r\n";
    writeFile(home + s("/default.pvx"), original);
    // What a save killed half-way leaves behind.
    const QString stale = home + s("/.pvx-save-Ab12Cd");
    writeFile(stale, "Password=secret\r\n");
    const timespec old[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(stale).constData(), old, 0), 0);

    Porvix run({s("--headless"), s("--home"), home, root.filePath(s("no-such-file.pvx"))});
    ASSERT_TRUE(run.started());
    QString errors;
    ASSERT_TRUE(waitUntil([&] {
        errors += run.errors();
        return errors.contains(s("no-such-file.pvx"));
    }, kStart)) << errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(stale));
    run.signal(SIGTERM);
    EXPECT_EQ(run.finish(), 0);

    const QString backup = home + s("/default.pvx.bak");
    EXPECT_EQ(readFile(backup), original);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(backup).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const auto saved = pvx::core::IniDocument::parse(readFile(home + s("/default.pvx")));
    EXPECT_EQ(saved.readInt(s("Session1"), s("Connector"), -1), 0);
    EXPECT_EQ(saved.readString(s("Ports"), s("COM3"), {}), s("/dev/ttyUSB0"));
}

TEST(AppHeadless, SaysWhatItDoesOnStandardErrorAndSavesAtAHangUp)
{
    QTemporaryDir root;
    const QString home = root.filePath(s("home"));
    ASSERT_TRUE(QDir().mkpath(home));
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    writeFile(home + s("/default.pvx"),
              QStringLiteral("[Porvix]\r\nNumSessions=1\r\nVirtualPortDir=%1\r\n[Session1]\r\nConnector=4\r\n"
                             "CreateVirtualPort=1\r\nTCPOption=1\r\nLocalIP=127.0.0.1\r\nPortNumber=%2\r\n"
                             "AutoActivate=1\r\nSessionDescription=Lab bench\r\n")
                  .arg(root.filePath(s("ports")))
                  .arg(port)
                  .toUtf8());

    Porvix run({s("--headless"), s("--home"), home});
    ASSERT_TRUE(run.started());
    QString said;
    EXPECT_TRUE(waitUntil([&] {
        said += run.errors();
        return said.contains(s("TCP/IP Status: Listening..."));
    }, kStart)) << said.toStdString();
    const QString defaultFile = home + s("/default.pvx");
    EXPECT_TRUE(said.startsWith(s("porvix: started " PVX_VERSION ", home ") + home + s(", file ") + defaultFile
                                + s(", 1 sessions\n")))
        << said.toStdString();
    EXPECT_TRUE(said.contains(s("\nporvix: Lab bench: TCP/IP Status: Listening...\n"))) << said.toStdString();

    run.signal(SIGHUP);
    EXPECT_EQ(run.finish(), 0) << "a hang-up is an orderly end";
    said += run.errors();
    EXPECT_TRUE(said.endsWith(s("porvix: saved to ") + defaultFile + s("\n"))) << said.toStdString();
    const auto document = pvx::core::IniDocument::parse(readFile(defaultFile));
    EXPECT_EQ(document.readInt(s("Session1"), s("AutoActivate"), 0), 1);
    EXPECT_EQ(document.readString(s("Session1"), s("SessionDescription"), {}), s("Lab bench"));
}
