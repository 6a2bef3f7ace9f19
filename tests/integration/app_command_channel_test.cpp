// The real program's command channel: --send, --status and --monitor as
// clients, one instance per home, and who may connect.
#include "core/ini_document.h"
#include "core/porvix_home.h"
#include "shell/trace_monitor.h"
#include "support/local_client.h"
#include "support/porvix_process.h"
#include "support/resident_size.h"
#include "support/text.h"
#include "support/wait_until.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QHostAddress>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>

#include <sys/stat.h>
#include <unistd.h>

using namespace pvx::testing;
using namespace std::chrono_literals;

namespace {

/// An instance running headless on a home of its own, answering on its
/// command socket.
class RunningInstance : public ::testing::Test {
protected:
    void start(const QByteArray &configuration = {})
    {
        ASSERT_TRUE(QDir().mkpath(home));
        if (!configuration.isEmpty())
            writeFile(home + s("/default.pvx"), configuration);
        instance = std::make_unique<Porvix>(QStringList{s("--headless"), s("--home"), home});
        ASSERT_TRUE(instance->started());
        ASSERT_TRUE(waitUntil([&] { return QFileInfo(socket).exists(); }, kStart)) << instance->errors().toStdString();
    }

    static Finished run(const QStringList &arguments) { return runPorvix(arguments); }

    QTemporaryDir root;
    QString home = root.filePath(s("home"));
    QString socket = pvx::core::commandSocketPath(home);
    std::unique_ptr<Porvix> instance;
};

} // namespace

TEST_F(RunningInstance, SendAndStatusSayWhatCameBackInTheirExitCode)
{
    start();
    const QString elsewhere = root.filePath(s("nobody-here"));
    struct Case {
        QStringList arguments;
        int exitCode;
        const char *output;
        QString errorsContain;
    };
    const Case cases[] = {
        {{s("--home"), home, s("--send"), s("System"), s("[NO"), s("SUCH]")}, 1, "NAK\n", {}},
        {{s("--send"), s("COM99"), s("[ACTIVATE]"), s("--home"), home}, 1, "NAK\n", {}},
        {{s("--home"), elsewhere, s("--send"), s("System"), s("[APPEXIT]")}, 2, "",
         pvx::core::commandSocketPath(elsewhere)},
        {{s("--home"), elsewhere, s("--status"), s("--json")}, 2, "", pvx::core::commandSocketPath(elsewhere)},
        {{s("--home"), home, s("--send"), s("System")}, 2, "", s("--send needs a topic and a command")},
        {{s("--home"), home, s("--json")}, 2, "", s("--json goes with --status")},
        {{s("--home"), home, s("--monitor"), s("COM99")}, 1, "", s("no session with the topic COM99")},
        {{s("--home"), elsewhere, s("--monitor"), s("COM5"), s("--text")}, 2, "",
         pvx::core::commandSocketPath(elsewhere)},
    };
    for (const Case &c : cases) {
        const Finished outcome = run(c.arguments);
        const std::string what = c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(outcome.exitCode, c.exitCode) << what;
        EXPECT_EQ(outcome.output, s(c.output)) << what;
        EXPECT_TRUE(outcome.errors.contains(c.errorsContain)) << what << ": " << outcome.errors.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(elsewhere)) << "a client never makes a home";

    instance->signal(SIGTERM);
    EXPECT_EQ(instance->finish(), 0);
    EXPECT_FALSE(QFileInfo::exists(socket)) << "the socket goes with the instance";
}

TEST_F(RunningInstance, ASecondStartOnTheSameHomeExits3NamingTheHolder)
{
    start();
    // Naming another configuration file does not make it another instance.
    for (const QStringList &second : {QStringList{s("--headless"), s("--home"), home},
                                      QStringList{s("--home"), home, s("other.pvx")}}) {
        Porvix again(second);
        ASSERT_TRUE(again.started());
        EXPECT_EQ(again.finish(), 3);
        const QString said = again.errors();
        EXPECT_TRUE(said.contains(home) && said.contains(s("(process %1)").arg(instance->pid()))
                    && said.contains(s("--home DIR")))
            << said.toStdString();
    }
    EXPECT_EQ(run({s("--home"), home, s("--send"), s("System"), s("[X]")}).exitCode, 1) << "the first runs on";
}

TEST_F(RunningInstance, BridgesKeepPassingDataWhileClientsMisbehave)
{
    QTcpServer peer;
    ASSERT_TRUE(peer.listen(QHostAddress::LocalHost, 0));
    start(clientConfiguration(root.filePath(s("ports")), 5, peer.serverPort()));
    ASSERT_TRUE(waitUntil([&] { return peer.hasPendingConnections(); }, kStart));
    QTcpSocket *connection = peer.nextPendingConnection();
    PortUser user(root.filePath(s("ports/COM5")));
    ASSERT_TRUE(user.ok());

    std::vector<std::unique_ptr<LocalClient>> crowd;
    for (int i = 0; i < 200; ++i) {
        crowd.push_back(std::make_unique<LocalClient>(socket));
        const QByteArray junk[] = {"System\t[APP", QByteArray(6000, 'x'), QByteArray("\0\xff\xfe\n", 4), "COM5"};
        crowd.back()->send(junk[i % 4]);
    }
    QElapsedTimer clock;
    clock.start();
    connection->write("ping\n");
    QByteArray arrived;
    ASSERT_TRUE(waitUntil([&] {
        arrived += user.read();
        return arrived.size() >= 5;
    }, kData));
    const qint64 dataMs = clock.elapsed();
    ASSERT_TRUE(user.write("pong\n"));
    ASSERT_TRUE(waitUntil([&] { return connection->bytesAvailable() >= 5; }, kData));

    clock.restart();
    EXPECT_EQ(run({s("--home"), home, s("--send"), s("COM5"), s("[NOT A COMMAND]")}).exitCode, 1);
    std::cout << "network to serial among 200 bad clients: " << dataMs << " ms; --send round trip with the "
              << "process start: " << clock.elapsed() << " ms\n";
    instance->signal(SIGTERM);
    EXPECT_EQ(instance->finish(), 0);
}

TEST_F(RunningInstance, StatusQueriesThatAreNeverReadHoldOnlyBoundedMemory)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer's allocator holds freed memory back";
#endif
    // Eight sessions make each status reply about fifty times its request.
    QByteArray configuration = "[Porvix]\r\nNumSessions=8\r\n";
    for (int n = 1; n <= 8; ++n)
        configuration += QStringLiteral("[Session%1]\r\nConnector=%1\r\n").arg(n).toUtf8();
    start(configuration);
    const qint64 before = residentKiB(instance->pid());
    LocalClient deaf(socket);
    QElapsedTimer clock;
    for (clock.start(); clock.elapsed() < 2000; runEventsFor(std::chrono::milliseconds(1)))
        deaf.send(QByteArray("System\t[STATUS]\n").repeated(4096));
    // Answered without a bound, the replies pile up by megabytes a second.
    EXPECT_LT(residentKiB(instance->pid()) - before, 8 * 1024);
}

TEST_F(RunningInstance, AnotherUserCannotConnect)
{
    const QString setpriv = QStandardPaths::findExecutable(s("setpriv"));
    if (::geteuid() != 0 || setpriv.isEmpty())
        GTEST_SKIP() << "needs root and setpriv to run a client as another user";
    // Every folder on the way open to others, so that only the socket's own
    // mode keeps them out.
    QTemporaryDir open(s("/tmp/pvx-other-XXXXXX"));
    ASSERT_TRUE(open.isValid());
    home = open.filePath(s("home"));
    socket = pvx::core::commandSocketPath(home);
    ASSERT_TRUE(QDir().mkpath(home));
    for (const QString &folder : {open.path(), home})
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0711), 0);
    start();

    const QStringList asNobody{s("--reuid=nobody"), s("--regid=nogroup"), s("--clear-groups")};
    QProcess sees;
    sees.start(setpriv, asNobody + QStringList{s("test"), s("-S"), socket});
    ASSERT_TRUE(sees.waitForFinished(kStopMs));
    ASSERT_EQ(sees.exitCode(), 0) << "the other user reaches the socket's path";

    QProcess client;
    client.start(setpriv, asNobody + QStringList{s(PVX_BINARY), s("--home"), home, s("--send"), s("System"), s("[X]")});
    ASSERT_TRUE(client.waitForFinished(kStopMs));
    EXPECT_EQ(client.exitCode(), 2);
    EXPECT_TRUE(client.readAllStandardError().contains("Permission denied"));
    EXPECT_EQ(run({s("--home"), home, s("--send"), s("System"), s("[X]")}).exitCode, 1) << "its owner may";
}

TEST_F(RunningInstance, AHomeTooLongForASocketRunsWithoutAChannel)
{
    home = root.filePath(QString(120, QLatin1Char('h')));
    ASSERT_TRUE(QDir().mkpath(home));
    Porvix longHome({s("--headless"), s("--home"), home});
    ASSERT_TRUE(longHome.started());
    QString said;
    ASSERT_TRUE(waitUntil([&] {
        said += longHome.errors();
        return said.contains(s("porvix: no command channel: "));
    }, kStart)) << said.toStdString();
    EXPECT_TRUE(said.contains(s("107 bytes"))) << said.toStdString();

    const Finished send = run({s("--home"), home, s("--send"), s("System"), s("[X]")});
    EXPECT_EQ(send.exitCode, 2);
    EXPECT_TRUE(send.errors.contains(s("107 bytes"))) << send.errors.toStdString();
    longHome.signal(SIGTERM);
    EXPECT_EQ(longHome.finish(), 0) << "the rest of the program runs on";
}

TEST_F(RunningInstance, CommandsDriveSessionsAndTheProgramEndToEnd)
{
    QTcpServer peer;
    ASSERT_TRUE(peer.listen(QHostAddress::LocalHost, 0));
    // COM5 comes up active; COM6 is never activated.
    QByteArray configuration = clientConfiguration(root.filePath(s("ports")), 5, peer.serverPort());
    configuration.replace("NumSessions=1", "NumSessions=2");
    configuration += "[Session2]\r\nConnector=6\r\nCreateVirtualPort=1\r\nIPAddress=127.0.0.1\r\nPortNumber=1\r\n";
    start(configuration);
    ASSERT_TRUE(waitUntil([&] { return peer.hasPendingConnections(); }, kStart));
    (void)peer.nextPendingConnection();

    struct Case {
        const char *topic;
        const char *command;
        int exitCode;
    };
    const Case cases[] = {
        {"COM5", "[ACTIVATE]", 1},
        {"com5", "  [deactivate]  ", 0},
        {"COM5", "[DEACTIVATE]", 1},
        {"COM6", "[DEACTIVATE]", 1},
        {"COM5", "[COMSETTINGS=19200, E,7", 0},
        {"COM5", "[comsettings=2400]", 0},
        {"Com5", "[Activate]", 0},
        {"COM5", "[ACTIVATE]", 1},
        {"System", "[ACTIVATE]", 1},
        {"System", "[APP EXIT]", 1},
        {"System", "APPEXIT", 1},
    };
    for (const Case &c : cases) {
        const Finished outcome = run({s("--home"), home, s("--send"), s(c.topic), s(c.command)});
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.topic << " " << c.command << ": " << outcome.errors.toStdString();
        EXPECT_EQ(outcome.output, s(c.exitCode == 0 ? "ACK\n" : "NAK\n")) << c.command;
    }

    // Known byte counts each way since the last activation.
    ASSERT_TRUE(waitUntil([&] { return peer.hasPendingConnections(); }, kStart));
    QTcpSocket *connection = peer.nextPendingConnection();
    PortUser user(root.filePath(s("ports/COM5")));
    ASSERT_TRUE(user.ok());
    ASSERT_TRUE(user.write(QByteArray(1000, 'a')));
    ASSERT_TRUE(waitUntil([&] { return connection->bytesAvailable() >= 1000; }, kData));
    connection->write(QByteArray(300, 'b'));
    QByteArray arrived;
    ASSERT_TRUE(waitUntil([&] {
        arrived += user.read();
        return arrived.size() >= 300;
    }, kData));

    const Finished status = run({s("--home"), home, s("--status"), s("--json")});
    ASSERT_EQ(status.exitCode, 0) << status.errors.toStdString();
    const QJsonArray sessions = QJsonDocument::fromJson(status.output.toUtf8()).object().value(s("sessions")).toArray();
    ASSERT_EQ(sessions.size(), 2) << status.output.toStdString();
    const QJsonObject first = sessions.at(0).toObject();
    EXPECT_EQ(first.value(s("connector")).toString(), s("COM5"));
    EXPECT_EQ(first.value(s("role")).toString(), s("client"));
    EXPECT_EQ(first.value(s("port")).toInt(), peer.serverPort());
    EXPECT_EQ(first.value(s("clients")).toInt(), 1);
    EXPECT_EQ(first.value(s("bytesToNetwork")).toInteger(), 1000);
    EXPECT_EQ(first.value(s("bytesToSerial")).toInteger(), 300);
    const Finished text = run({s("--home"), home, s("--status")});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_EQ(text.output.count(QLatin1Char('\n')), 2) << text.output.toStdString();
    EXPECT_TRUE(text.output.contains(s("to network 1000 bytes"))) << text.output.toStdString();

    // The exit comes about half a second after the answer, with the save.
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(run({s("--home"), home, s("--send"), s("System"), s(" [appexit] ")}).exitCode, 0);
    EXPECT_EQ(instance->finish(), 0);
    const qint64 exitMs = clock.elapsed();
    EXPECT_GE(exitMs, 450);
    EXPECT_LT(exitMs, 5000);
    const auto saved = pvx::core::IniDocument::parse(readFile(home + s("/default.pvx")));
    EXPECT_EQ(saved.readInt(s("Session1"), s("AutoActivate"), -1), 1);
    EXPECT_EQ(saved.readInt(s("Session2"), s("AutoActivate"), -1), 0);
    // 19200 baud (position 8); ", E" is no parity word and "7" had no comma
    // after it; a lone baud rate changes nothing.
    EXPECT_EQ(saved.readInt(s("Session1"), s("BaudRate"), -1), 8);
    EXPECT_EQ(saved.readInt(s("Session1"), s("Parity"), -1), 0);
    EXPECT_NE(saved.readInt(s("Session1"), s("Databits"), -1), 2);
}

TEST_F(RunningInstance, MonitorsShowTheBytesBothWaysAndOneThatDoesNotReadIsCutOff)
{
    QTcpServer peer;
    ASSERT_TRUE(peer.listen(QHostAddress::LocalHost, 0));
    start(clientConfiguration(root.filePath(s("ports")), 5, peer.serverPort()));
    ASSERT_TRUE(waitUntil([&] { return peer.hasPendingConnections(); }, kStart));
    QTcpSocket *connection = peer.nextPendingConnection();
    PortUser user(root.filePath(s("ports/COM5")));
    ASSERT_TRUE(user.ok());
    const QByteArray address = "127.0.0.1:" + QByteArray::number(peer.serverPort());

    Porvix hex({s("--home"), home, s("--monitor"), s("com5")});
    Porvix text({s("--home"), home, s("--monitor"), s("COM5"), s("--text")});
    QString hexShown;
    QString textShown;
    const auto shown = [&](const char *inHex, const char *inText) {
        hexShown += hex.output();
        textShown += text.output();
        return hexShown.contains(s(inHex)) && textShown.contains(s(inText));
    };
    // Both watch once they show what crossed after they started.
    ASSERT_TRUE(waitUntil([&] {
        user.write("sync");
        return waitUntil([&] { return shown("|sync|", ": sync"); }, 200);
    }, kStart)) << hexShown.toStdString() << hex.errors().toStdString();

    const QByteArray seventeen = QByteArray("0123456789abcdef") + char(0xff);
    ASSERT_TRUE(user.write(seventeen));
    connection->write(QByteArray("hi\0", 3));
    ASSERT_TRUE(waitUntil([&] { return shown("|hi.|", ": hi") && shown("|.|", "\\xff"); }, kData));
    const auto expect = [](const QString &output, const QByteArray &part) {
        EXPECT_TRUE(output.contains(QString::fromLatin1(part))) << part.toStdString() << " in\n" << output.toStdString();
    };
    expect(hexShown, "] serial->network 17 bytes to " + address + "\n"
                     "  00000000  30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66  |0123456789abcdef|\n"
                     "  00000010  ff                                                |.|\n");
    expect(hexShown, "] network->serial 3 bytes from " + address + "\n"
                     "  00000000  68 69 00                                          |hi.|\n");
    expect(textShown, "[COM5] serial->network 17 bytes to " + address + ": 0123456789abcdef\\xff\n");
    expect(textShown, "[COM5] network->serial 3 bytes from " + address + ": hi\\x00\n");
    hex.signal(SIGINT);
    text.signal(SIGTERM);
    EXPECT_EQ(hex.finish(), 0);
    EXPECT_EQ(text.finish(), 0);
    EXPECT_EQ(hex.errors() + text.errors(), QString()) << "Ctrl+C ends a monitor quietly";

    // A hundred at once each see the next record.
    std::vector<std::unique_ptr<LocalClient>> crowd;
    for (int i = 0; i < 100; ++i) {
        crowd.push_back(std::make_unique<LocalClient>(socket));
        crowd.back()->send("COM5\t[MONITOR TEXT]\n");
    }
    for (auto &client : crowd)
        ASSERT_EQ(client->readLines(1), QByteArray("ACK\n"));
    connection->write("all");
    for (auto &client : crowd)
        EXPECT_TRUE(client->readLines(2).endsWith(": all\n")) << client->received().toStdString();
    crowd.clear();

    // One that does not read is cut off, and the bridge loses nothing.
    LocalClient deaf(socket);
    deaf.send("COM5\t[MONITOR HEX]\n");
    ASSERT_EQ(deaf.readLines(1), QByteArray("ACK\n"));
    QByteArray bulk(4 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < bulk.size(); ++i)
        bulk[i] = static_cast<char>(i * 7 + i / 251);
    QByteArray arrived;
    qsizetype written = 0;
    ASSERT_TRUE(waitUntil([&] {
        for (qsizetype wrote = 1; written < bulk.size() && wrote > 0; written += wrote)
            wrote = user.writeSome(QByteArrayView(bulk).sliced(written));
        arrived += connection->readAll();
        return arrived.size() >= bulk.size();
    }, 60s)) << arrived.size();
    EXPECT_TRUE(arrived.endsWith(bulk.right(4096)) && arrived.contains(bulk)) << "every byte, in order";
    EXPECT_TRUE(deaf.closedByPeer());
    EXPECT_TRUE(deaf.received().endsWith(pvx::shell::kMonitorCutOff)) << deaf.received().right(200).toStdString();
    EXPECT_LT(deaf.received().size(), 4 * 1024 * 1024) << "a bounded backlog";

    // A monitor ends with the instance.
    Porvix last({s("--home"), home, s("--monitor"), s("COM5")});
    ASSERT_TRUE(last.started());
    runEventsFor(500ms);
    instance->signal(SIGTERM);
    EXPECT_EQ(instance->finish(), 0);
    EXPECT_EQ(last.finish(), 0) << last.errors().toStdString();
}
