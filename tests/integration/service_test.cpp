// Service mode with the real program, headless: the service switches install
// and remove a unit in a temporary unit folder, and a service run tells
// systemd through its notification socket when it is up and when it stops.
#include "support/porvix_process.h"
#include "support/text.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <iostream>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace pvx::testing;

namespace {

/// Runs the program to its end, its units going to `unitFolder`.
Finished run(const QStringList &arguments, const QString &unitFolder)
{
    return runPorvix(arguments, {.environment = {{s("PORVIX_UNIT_DIR"), unitFolder}}});
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

/// The next datagram on `fd`, or an empty one when none comes in time.
QByteArray nextDatagram(int fd)
{
    pollfd ready {fd, POLLIN, 0};
    char buffer[512];
    const ssize_t got = ::poll(&ready, 1, kStopMs) == 1 ? ::recv(fd, buffer, sizeof buffer, 0) : -1;
    return got > 0 ? QByteArray(buffer, static_cast<qsizetype>(got)) : QByteArray();
}

} // namespace

TEST(Service, InstallsAndRemovesAUnitSystemdAccepts)
{
    QTemporaryDir root;
    const QString units = root.filePath(s("units"));
    const QString unit = units + s("/porvix.service");
    const QString home = root.filePath(s("home with 100% of $HOME"));

    const Finished install = run({s("--home"), home, s(" -i ")}, units);
    ASSERT_EQ(install.exitCode, 0) << install.errors.toStdString();
    const QStringList said = install.output.split(QLatin1Char('\n'));
    EXPECT_EQ(said.value(0), s("Porvix service installed successfully."));
    // PORVIX_UNIT_DIR is a folder systemd does not read: enabling is left to the user.
    EXPECT_TRUE(said.value(1).startsWith(s("systemd is not running")) && said.value(2).endsWith(s(" enable --now porvix")))
        << install.output.toStdString();
    const QString quotedHome = QString(home).replace(s("%"), s("%%")).replace(s("$"), s("$$"));
    EXPECT_TRUE(readText(unit).contains(s("\nExecStart=\"%1\" \"--headless\" \"--home\" \"%2\"\n")
                                            .arg(QFileInfo(s(PVX_BINARY)).canonicalFilePath(), quotedHome)))
        << readText(unit).toStdString();
    EXPECT_FALSE(QFileInfo::exists(home)) << "a service switch touches no home";

    // verify needs the program of ExecStart= to exist; systemd itself need not run.
    const QString analyze = QStandardPaths::findExecutable(s("systemd-analyze"));
    if (analyze.isEmpty()) {
        std::cerr << "systemd-analyze is not installed: the unit is not verified\n";
    } else {
        QProcess verify;
        verify.setProcessChannelMode(QProcess::MergedChannels);
        verify.start(analyze, {s("verify"), unit});
        ASSERT_TRUE(verify.waitForFinished(kStopMs));
        EXPECT_EQ(verify.exitCode(), 0) << verify.readAll().toStdString();
    }

    const Finished silent = run({s("--home"), home, s("/IS")}, units);
    const Finished hidden = run({s("--home"), home, s("-IH")}, units);
    EXPECT_EQ(silent.exitCode + hidden.exitCode, 0);
    EXPECT_EQ(silent.output + silent.errors + hidden.output + hidden.errors, QString());
    EXPECT_FALSE(readText(unit).contains(s("network-online"))) << "a hidden install does not wait for the network";

    const Finished uninstall = run({s("--home"), home, s("-U")}, units);
    EXPECT_EQ(uninstall.exitCode, 0);
    EXPECT_EQ(uninstall.output, s("Porvix service uninstalled successfully.\n"));
    EXPECT_FALSE(QFileInfo::exists(unit));

    const Finished again = run({s("--home"), home, s("/us")}, units);
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.output, QString());
    EXPECT_TRUE(again.errors.startsWith(s("Porvix service did not uninstall successfully.\n"))) << again.errors.toStdString();
}

TEST(Service, AUnitFolderThatCannotBeWrittenFailsEvenSilently)
{
    QTemporaryDir root;
    // Below a regular file nothing can be made, not even by root.
    QFile blocker(root.filePath(s("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    for (const char *command : {"-I", "/IHS"}) {
        const Finished install = run({s("--home"), root.filePath(s("home")), s(command)}, root.filePath(s("file/units")));
        EXPECT_EQ(install.exitCode, 1) << command;
        EXPECT_EQ(install.output, QString()) << command;
        EXPECT_TRUE(install.errors.startsWith(s("Porvix service did not install successfully.\n"))
                    && install.errors.contains(s("file/units")))
            << command << ": " << install.errors.toStdString();
    }
}

TEST(Service, ARunTellsSystemdWhenItIsUpAndWhenItStopsAfterSaving)
{
    QTemporaryDir root;
    const QByteArray socketPath = QFile::encodeName(root.filePath(s("notify")));
    const int systemd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(static_cast<std::size_t>(socketPath.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.constData(), static_cast<std::size_t>(socketPath.size()));
    ASSERT_EQ(::bind(systemd, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    const QString home = root.filePath(s("home"));

    Porvix porvix({s("--headless"), s("--home"), home}, {.environment = {{s("PORVIX_UNIT_DIR"), root.filePath(s("units"))},
                                                                       {s("NOTIFY_SOCKET"), QFile::decodeName(socketPath)}}});
    ASSERT_TRUE(porvix.started());
    EXPECT_EQ(nextDatagram(systemd), QByteArray("READY=1"));
    EXPECT_FALSE(QFileInfo::exists(home + s("/default.pvx"))) << "nothing is saved before the stop";
    porvix.signal(SIGTERM);
    EXPECT_EQ(nextDatagram(systemd), QByteArray("STOPPING=1"));
    EXPECT_EQ(porvix.finish(), 0) << porvix.errors().toStdString();
    EXPECT_TRUE(readText(home + s("/default.pvx")).contains(s("[Session1]")));
    ::close(systemd);
}
