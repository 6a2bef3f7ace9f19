// A device unplugged and plugged in again under the real program: socat
// makes a pseudo-terminal pair at fixed link paths, the program serves one
// end as COM3 through [Ports], and the test plays the far end and a client.
#include "support/porvix_process.h"
#include "support/text.h"
#include "support/wait_until.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <utility>

using namespace pvx::testing;
using namespace std::chrono_literals;

namespace {

/// socat with a pseudo-terminal pair whose ends are links at `device` and `far`.
class PtyPair {
public:
    PtyPair(const QString &device, const QString &far)
    {
        m_socat.start(s("socat"), {s("pty,raw,echo=0,link=") + device, s("pty,raw,echo=0,link=") + far});
        m_ready = waitUntil([&] { return QFileInfo::exists(device) && QFileInfo::exists(far); }, kData);
    }
    /// Stopped as a user would stop it: it removes its links.
    ~PtyPair()
    {
        if (m_socat.state() == QProcess::NotRunning)
            return;
        ::kill(static_cast<pid_t>(m_socat.processId()), SIGTERM);
        if (!m_socat.waitForFinished(kStopMs))
            m_socat.kill();
        m_socat.waitForFinished(kStopMs);
    }
    bool ready() const { return m_ready; }

private:
    QProcess m_socat;
    bool m_ready = false;
};

/// The program with one server session on the device end of a pair, a
/// client connected to it, and the far end held by the test.
class HotPlug : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(s("socat")).isEmpty())
            GTEST_SKIP() << "socat is not installed";
        ASSERT_TRUE(QDir().mkpath(home()));
        if (pluggedInAtStart()) {
            plugIn();
            ASSERT_TRUE(m_pair->ready());
        }
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        writeFile(home() + s("/default.pvx"),
                  QStringLiteral("[Ports]\r\nCOM3=%1\r\n[Porvix]\r\nNumSessions=1\r\nLogErrors=1\r\n"
                                 "[Session1]\r\nConnector=3\r\nDatabits=3\r\nTCPOption=1\r\nLocalIP=127.0.0.1\r\n"
                                 "PortNumber=%2\r\nAutoActivate=1\r\nSessionDescription=Bench\r\n")
                      .arg(device())
                      .arg(port)
                      .toUtf8());
        m_run = std::make_unique<Porvix>(QStringList{s("--headless"), s("--home"), home()});
        ASSERT_TRUE(m_run->started());
        ASSERT_TRUE(says(s("Bench: TCP/IP Status: Listening..."))) << m_said.toStdString();
        const qsizetype listening = m_said.size();
        m_client.connectToHost(QHostAddress::LocalHost, port);
        // Serial data for a server without clients is thrown away: wait until it counts this one.
        ASSERT_TRUE(says(s("Bench: TCP/IP Status:"), listening)) << m_said.toStdString();
    }
    void TearDown() override
    {
        if (!m_run)
            return;
        m_run->signal(SIGTERM);
        EXPECT_EQ(m_run->finish(), 0);
    }

    virtual bool pluggedInAtStart() const { return true; }
    QString home() const { return m_root.filePath(s("home")); }
    QString device() const { return m_root.filePath(s("dev")); }
    QString far() const { return m_root.filePath(s("far")); }
    QByteArray errorLog() const { return readFile(home() + s("/errorlog.txt")); }

    void plugIn() { m_pair = std::make_unique<PtyPair>(device(), far()); }
    /// Unplugs the device and waits until the program says so.
    void unplug()
    {
        const qsizetype before = m_said.size();
        m_pair.reset();
        ASSERT_TRUE(says(s("Bench: COM Status: Error - "), before)) << m_said.toStdString();
    }
    /// Whether the program says `text` (from position `from` of what it said) in time.
    bool says(const QString &text, qsizetype from = 0)
    {
        return waitUntil([&] {
            m_said += m_run->errors();
            return m_said.indexOf(text, from) >= 0;
        }, kStart);
    }
    /// Reads with `read` until `size` bytes came or the time is up.
    static QByteArray gather(qsizetype size, const std::function<QByteArray()> &read)
    {
        QByteArray got;
        waitUntil([&] { return (got += read()).size() >= size; }, kData);
        return got;
    }
    QByteArray clientGets(qsizetype size) { return gather(size, [this] { return m_client.readAll(); }); }
    static QByteArray deviceGets(PortUser &user, qsizetype size) { return gather(size, [&] { return user.read(); }); }
    /// What the client sends while the device is away.
    QByteArray sendWhileAway()
    {
        QByteArray bytes;
        for (int i = 0; i < 3000; ++i)
            bytes += static_cast<char>(i * 7 + i / 256);
        m_client.write(bytes);
        EXPECT_TRUE(m_client.waitForBytesWritten(kStopMs));
        return bytes;
    }
    /// Plugs the device in again and checks that what waited arrives, that
    /// the program says the port is open, and that data flows both ways.
    void plugInAndExpect(const QByteArray &waiting)
    {
        const qsizetype before = m_said.size();
        plugIn();
        ASSERT_TRUE(m_pair->ready());
        PortUser user(far());
        ASSERT_TRUE(user.ok());
        EXPECT_EQ(deviceGets(user, waiting.size()), waiting);
        EXPECT_TRUE(says(s("Bench: COM Status: Open"), before)) << m_said.toStdString();
        ASSERT_TRUE(user.write("from the device"));
        EXPECT_EQ(clientGets(15), QByteArray("from the device"));
        m_client.write("to the device");
        EXPECT_EQ(deviceGets(user, 13), QByteArray("to the device"));
    }

    QTemporaryDir m_root;
    std::unique_ptr<PtyPair> m_pair;
    std::unique_ptr<Porvix> m_run;
    QString m_said;
    QTcpSocket m_client;
};

/// The same, with the device plugged in only after the program started.
class HotPlugAfterStart : public HotPlug {
protected:
    bool pluggedInAtStart() const override { return false; }
};

/// CPU time the process `pid` has used so far.
std::chrono::milliseconds cpuTime(qint64 pid)
{
    const QList<QByteArray> fields = readFile(QStringLiteral("/proc/%1/stat").arg(pid)).split(' ');
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    if (fields.size() < 15 || ticksPerSecond <= 0)
        return {};
    return std::chrono::milliseconds((fields[13].toLongLong() + fields[14].toLongLong()) * 1000 / ticksPerSecond);
}

} // namespace

TEST_F(HotPlug, DataSentWhileTheDeviceWasAwayArrivesWhenItComesBack)
{
    {
        PortUser user(far());
        ASSERT_TRUE(user.ok());
        ASSERT_TRUE(user.write("hello"));
        EXPECT_EQ(clientGets(5), QByteArray("hello"));
    }
    unplug();
    const QByteArray waiting = sendWhileAway();
    runEventsFor(300ms);
    plugInAndExpect(waiting);
    EXPECT_EQ(errorLog().count("The device " + device().toUtf8() + " came back"), 1);
}

TEST_F(HotPlug, SomethingElseAtThePathAndALinkThatFlapsAreWaitedOut)
{
    unplug();
    const QByteArray waiting = sendWhileAway();

    // A file and then a folder at the device's path: each is refused, and said once.
    const QString path = device();
    writeFile(path, "not a device");
    ASSERT_TRUE(waitUntil([&] { return errorLog().contains("not a serial device"); }, kData));
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    runEventsFor(300ms);
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkdir(path));
    ASSERT_TRUE(waitUntil([&] { return errorLog().contains("Is a directory"); }, kData));
    ASSERT_TRUE(QDir().rmdir(path));

    // A link to nothing that comes and goes every 10 ms costs next to nothing.
    const std::chrono::milliseconds before = cpuTime(m_run->pid());
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(QFile::link(m_root.filePath(s("nowhere")), path));
        runEventsFor(5ms);
        ASSERT_TRUE(QFile::remove(path));
        runEventsFor(5ms);
    }
    EXPECT_LT(cpuTime(m_run->pid()) - before, 500ms);

    plugInAndExpect(waiting);
    EXPECT_EQ(errorLog().count("not a serial device"), 1);
    EXPECT_EQ(errorLog().count("Is a directory"), 1);
}

TEST_F(HotPlugAfterStart, ADeviceMissingAtStartIsTakenWhenItAppearsAndStartsAgainNextTime)
{
    EXPECT_TRUE(says(s("Bench: COM Status: Waiting for the device ") + device())) << m_said.toStdString();
    plugInAndExpect(sendWhileAway());
    m_run->signal(SIGTERM);
    EXPECT_EQ(std::exchange(m_run, nullptr)->finish(), 0);
    EXPECT_TRUE(readFile(home() + s("/default.pvx")).contains("AutoActivate=1"));
}
