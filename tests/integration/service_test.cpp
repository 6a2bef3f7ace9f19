// Service mode with the real program, headless: the service switches install
// and remove a unit in a temporary unit folder, and a service run tells
// systemd through its notification socket when it is up and when it stops.
#include "support/text.h"
#include "support/wait_until.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <iostream>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using pvx::testing::s;

namespace {

constexpr int kWaitMs = 15000;

/// The program under test without a display, its units going to `unitFolder`.
class Porvix {
public:
    Porvix(const QStringList &arguments, const QString &unitFolder, const QString &notifySocket = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "NOTIFY_SOCKET"})
            environment.remove(QLatin1String(variable));
        environment.insert(s("PORVIX_UNIT_DIR"), unitFolder);
        if (!notifySocket.isEmpty())
            environment.insert(s("NOTIFY_SOCKET"), notifySocket);
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(PVX_BINARY), arguments);
    }
    ~Porvix()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(kWaitMs);
        }
    }

    void signal(int number) { ::kill(static_cast<pid_t>(m_process.processId()), number); }
    /// Waits for the end; the exit status, or -1 when it did not end normally.
    int finish()
    {
        if (!m_process.waitForFinished(kWaitMs) || m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        output = QString::fromLocal8Bit(m_process.readAllStandardOutput());
        errors = QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_process.exitCode();
    }

    QString output;
    QString errors;

private:
    QProcess m_process;
};

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

/// A datagram socket standing in for systemd's notification socket.
class NotifySocket {
public:
    explicit NotifySocket(const QString &path) : m_path(path), m_fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        if (m_fd < 0 || static_cast<std::size_t>(name.size()) >= sizeof address.sun_path)
            return;
        std::copy(name.begin(), name.end(), address.sun_path);
        m_bound = ::bind(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    }
    ~NotifySocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_bound; }
    /// The next message, or an empty one when none comes within the wait.
    QByteArray next()
    {
        pollfd ready {m_fd, POLLIN, 0};
        if (::poll(&ready, 1, kWaitMs) != 1)
            return {};
        char buffer[512];
        const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
        return got > 0 ? QByteArray(buffer, static_cast<qsizetype>(got)) : QByteArray();
    }

private:
    QString m_path;
    int m_fd;
    bool m_bound = false;
};

} // namespace

TEST(Service, InstallsAndRemovesAUnitSystemdAccepts)
{
    QTemporaryDir root;
    const QString units = root.filePath(s("units"));
    const QString unit = units + s("/porvix.service");
    const QString home = root.filePath(s("home with 100% of $HOME"));

    Porvix install({s("--home"), home, s(" -i ")}, units);
    ASSERT_EQ(install.finish(), 0) << install.errors.toStdString();
    EXPECT_TRUE(install.errors.isEmpty()) << install.errors.toStdString();
    const QStringList said = install.output.split(QLatin1Char('\n'));
    EXPECT_EQ(said.value(0), s("Porvix service installed successfully."));
    // PORVIX_UNIT_DIR is a folder systemd does not read: it is left to the user.
    EXPECT_TRUE(said.value(1).startsWith(s("systemd is not running")) && said.value(2).startsWith(s("systemctl "))
                && said.value(2).endsWith(s(" enable --now porvix")))
        << install.output.toStdString();
    const QString text = readText(unit);
    const QString quotedHome = QString(home).replace(s("%"), s("%%")).replace(s("$"), s("$$"));
    EXPECT_TRUE(text.contains(s("\nExecStart=\"%1\" \"--headless\" \"--home\" \"%2\"\n")
                                  .arg(QFileInfo(QStringLiteral(PVX_BINARY)).canonicalFilePath(), quotedHome)))
        << text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(home)) << "a service switch touches no home";

    const QString analyze = QStandardPaths::findExecutable(s("systemd-analyze"));
    if (analyze.isEmpty()) {
        std::cout << "systemd-analyze is not installed: the unit is not verified\n";
    } else {
        // verify needs the program of ExecStart= to exist; systemd itself need not run.
        QProcess verify;
        verify.setProcessChannelMode(QProcess::MergedChannels);
        verify.start(analyze, {s("verify"), unit});
        ASSERT_TRUE(verify.waitForFinished(kWaitMs));
        EXPECT_EQ(verify.exitCode(), 0) << verify.readAll().toStdString();
    }

    Porvix silent({s("--home"), home, s("/IS")}, units);
    EXPECT_EQ(silent.finish(), 0);
    Porvix hidden({s("--home"), home, s("-IH")}, units);
    EXPECT_EQ(hidden.finish(), 0);
    EXPECT_EQ(silent.output + silent.errors + hidden.output + hidden.errors, QString());
    EXPECT_FALSE(readText(unit).contains(s("network-online"))) << "a hidden install does not wait for the network";

    Porvix uninstall({s("--home"), home, s("-U")}, units);
    EXPECT_EQ(uninstall.finish(), 0);
    EXPECT_EQ(uninstall.output, s("Porvix service uninstalled successfully.\n"));
    EXPECT_FALSE(QFileInfo::exists(unit));

    Porvix again({s("--home"), home, s("/us")}, units);
    EXPECT_EQ(again.finish(), 1);
    EXPECT_TRUE(again.output.isEmpty());
    EXPECT_TRUE(again.errors.startsWith(s("Porvix service did not uninstall successfully.\n"))) << again.errors.toStdString();
}

TEST(Service, AUnitFolderThatCannotBeWrittenFailsEvenSilently)
{
    QTemporaryDir root;
    // Below a regular file nothing can be made, not even by root.
    QFile blocker(root.filePath(s("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    for (const char *command : {"-I", "-is", "/IHS"}) {
        Porvix install({s("--home"), root.filePath(s("home")), s(command)}, root.filePath(s("file/units")));
        EXPECT_EQ(install.finish(), 1) << command;
        EXPECT_TRUE(install.output.isEmpty()) << command;
        EXPECT_TRUE(install.errors.startsWith(s("Porvix service did not install successfully.\n"))
                    && install.errors.contains(s("file/units")))
            << command << ": " << install.errors.toStdString();
    }
}

TEST(Service, ARunTellsSystemdWhenItIsUpAndWhenItStopsAfterSaving)
{
    QTemporaryDir root;
    NotifySocket systemd(root.filePath(s("notify")));
    ASSERT_TRUE(systemd.ok());
    const QString home = root.filePath(s("home"));

    Porvix run({s("--headless"), s("--home"), home}, root.filePath(s("units")), root.filePath(s("notify")));
    EXPECT_EQ(systemd.next(), QByteArray("READY=1"));
    EXPECT_FALSE(QFileInfo::exists(home + s("/default.pvx"))) << "nothing is saved before the stop";
    run.signal(SIGTERM);
    EXPECT_EQ(systemd.next(), QByteArray("STOPPING=1"));
    EXPECT_EQ(run.finish(), 0) << run.errors.toStdString();
    EXPECT_TRUE(readText(home + s("/default.pvx")).contains(s("[Session1]")));
}
