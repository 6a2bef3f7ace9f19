// Remote line control against peers nobody here wrote: a Python serial
// library's RFC 2217 client on a server session, and a terminal server
// (ser2net) behind a client session's virtual port.
#include "bridge_fixture.h"
#include "tls_relay.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <termios.h>

using namespace std::chrono_literals;
using pvx::testing::freePort;
using pvx::testing::kNetworkLine;
using pvx::testing::PtyBridge;
using pvx::testing::s;
using pvx::testing::TlsRelay;

namespace {

constexpr auto kStep = 20s;

/// Every byte value, over and over: 1 MiB.
QByteArray everyByteValue()
{
    QByteArray block(256, Qt::Uninitialized);
    for (int i = 0; i < 256; ++i)
        block[i] = static_cast<char>(i);
    return block.repeated(4096);
}

/// A program run for the test; killed when the test ends.
class Program {
public:
    Program(const QString &path, const QStringList &arguments)
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(path, arguments);
    }
    ~Program()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    bool started() { return m_process.waitForStarted(5000); }
    /// The next line of output, the event loop running meanwhile; empty when none came.
    QString line(std::chrono::milliseconds timeout = kStep)
    {
        if (!waitUntil([&] { return m_process.canReadLine() || m_process.state() == QProcess::NotRunning; }, timeout)
            || !m_process.canReadLine())
            return {};
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }
    void say(const char *text) { m_process.write(QByteArray(text) + '\n'); }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
};

/// Python with the system's serial library, running `script` with `arguments`.
std::unique_ptr<Program> python(const QString &script, const QStringList &arguments)
{
    if (!QFile::exists(s("/usr/bin/python3")))
        return nullptr;
    auto program = std::make_unique<Program>(s("/usr/bin/python3"), QStringList{s("-c"), script} + arguments);
    return program->started() ? std::move(program) : nullptr;
}

bool hasSerialLibrary()
{
    return QProcess::execute(s("/usr/bin/python3"), {s("-c"), s("import serial")}) == 0;
}

termios lineOf(int fd)
{
    termios line{};
    ::tcgetattr(fd, &line);
    return line;
}

/// Reads from the device until `size` bytes came or nothing more comes.
QByteArray readDevice(pvx::testing::Pty &device, qsizetype size)
{
    QByteArray got;
    (void)waitUntil([&] { got += device.read(); return got.size() >= size; }, kStep);
    return got;
}

/// Writes all of `bytes` into the device as it takes them.
bool writeDevice(pvx::testing::Pty &device, const QByteArray &bytes)
{
    qsizetype written = 0;
    return waitUntil([&] {
        written += device.write(bytes.mid(written, 4096));
        return written == bytes.size();
    }, kStep);
}

const char *const kRemoteClient = R"(
import serial, sys, time
port = serial.serial_for_url(sys.argv[1], baudrate=57600, stopbits=serial.STOPBITS_TWO, timeout=15)
print('open', flush=True)
# Old enough that the first line read polls the server.
time.sleep(0.5)
try:
    print('modem', port.cts, port.dsr, port.ri, port.cd, flush=True)
except Exception as error:
    print('modem failed:', error, flush=True)
sys.stdin.readline()
try:
    port.parity = serial.PARITY_EVEN
    print('parity taken', flush=True)
except Exception as error:
    print('parity refused:', type(error).__name__, str(error).replace(chr(10), ' '), flush=True)
data = bytes(range(256)) * 4096
)";

const char *const kLocalProgram = R"(
import serial, sys
port = serial.Serial(sys.argv[1], 19200, timeout=15)
print('open', flush=True)
sys.stdin.readline()
data = bytes(range(256)) * 64
)";

// The end of both programs: `data` out and back, and whether it came back whole.
const char *const kSendAndCompare = R"(
port.write(data)
port.flush()
print('sent', flush=True)
got = port.read(len(data))
print('same' if got == data else 'different %d' % len(got), flush=True)
port.close()
)";

QString wholeScript(const char *opening)
{
    return QLatin1String(opening) + QLatin1String(kSendAndCompare);
}

} // namespace

TEST(BridgeRemoteLine, ARemoteClientSetsTheDeviceAndMovesEveryByteValuePlainAndOverTls)
{
    if (!hasSerialLibrary())
        GTEST_SKIP() << "python3-serial is not installed";
    const pvx::testing::CertificateFolder certificates;
    for (const bool overTls : {false, true}) {
        if (overTls && (!certificates.made.missing.isEmpty() || !TlsRelay::available()))
            GTEST_SKIP() << "openssl or socat is missing for the run over TLS";
        SCOPED_TRACE(overTls ? "over TLS" : "plain");
        PtyBridge f(PtyBridge::Role::Server);
        ASSERT_TRUE(f.device.ok());
        f.window().options.Rfc2217 = 1;
        if (overTls)
            pvx::testing::serveTls(f.window().options, certificates, 0);
        ASSERT_TRUE(f.activate()) << f.status(kNetworkLine).toStdString();

        // pyserial speaks no TLS: socat takes its Telnet stream into TLS.
        quint16 port = f.port();
        std::unique_ptr<TlsRelay> relay;
        if (overTls) {
            port = freePort();
            relay = TlsRelay::toTls(port, f.port(), TlsRelay::clientOptions(certificates.made.caFile));
            ASSERT_TRUE(relay);
        }
        auto client = python(wholeScript(kRemoteClient), {QStringLiteral("rfc2217://127.0.0.1:%1?poll_modem").arg(port)});
        ASSERT_TRUE(client);
        ASSERT_EQ(client->line(), s("open"));
        // A pseudo-terminal has no modem lines: all off, and a poll is answered.
        EXPECT_EQ(client->line(), s("modem False False False False"));
        EXPECT_FALSE(f.logText().contains(s("malformed")));
        const termios line = lineOf(f.device.master());
        EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B57600));
        EXPECT_NE(line.c_cflag & CSTOPB, 0u);
        EXPECT_EQ(f.window().baudRate.text(), s("57600"));
        EXPECT_EQ(f.window().stopBits.text(), s("2"));

        // A pseudo-terminal takes no parity: the request is answered with none.
        client->say("go");
        const QString refusal = client->line();
        EXPECT_TRUE(refusal.contains(s("remote rejected value"))) << refusal.toStdString();
        EXPECT_EQ(f.window().parity.selectedIndex(), 0);
        EXPECT_EQ(lineOf(f.device.master()).c_cflag & PARENB, 0u);

        const QByteArray data = everyByteValue();
        EXPECT_EQ(readDevice(f.device, data.size()), data);
        ASSERT_EQ(client->line(), s("sent"));
        ASSERT_TRUE(writeDevice(f.device, data));
        EXPECT_EQ(client->line(), s("same"));
    }
}

TEST(BridgeRemoteLine, AVirtualPortStandsForADeviceOnATerminalServerPlainAndOverTls)
{
    const QString ser2net = QStandardPaths::findExecutable(s("ser2net"), {s("/usr/sbin"), s("/usr/bin")});
    if (ser2net.isEmpty() || !hasSerialLibrary())
        GTEST_SKIP() << "ser2net or python3-serial is not installed";
    const pvx::testing::CertificateFolder certificates;
    for (const bool overTls : {false, true}) {
        if (overTls && !certificates.made.missing.isEmpty())
            GTEST_SKIP() << "openssl is missing for the run over TLS";
        SCOPED_TRACE(overTls ? "over TLS" : "plain");
        pvx::testing::Pty device;
        ASSERT_TRUE(device.ok());
        const quint16 port = freePort();
        QTemporaryDir folder;
        const QString config = folder.filePath(s("ser2net.yaml"));
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        // The terminal server's Telnet stage sits inside its TLS stage.
        const QString tls = overTls ? QStringLiteral("ssl(key=%1,cert=%2),")
                                          .arg(certificates.made.serverKey, certificates.made.serverCert)
                                    : QString();
        file.write(QStringLiteral("connection: &bridge\n"
                                  "  accepter: telnet(rfc2217),%1tcp,127.0.0.1,%2\n"
                                  "  connector: serialdev,%3,9600n81,local\n")
                       .arg(tls)
                       .arg(port)
                       .arg(device.slave())
                       .toUtf8());
        file.close();
        Program server(ser2net, {s("-n"), s("-u"), s("-c"), config, s("-P"), folder.filePath(s("ser2net.pid"))});
        ASSERT_TRUE(server.started());
        ASSERT_TRUE(waitUntil([&] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            return probe.waitForConnected(200);
        }, kStep)) << server.process().readAll().toStdString();
        runEventsFor(300ms);

        PtyBridge f(PtyBridge::Role::Client, PtyBridge::Serial::VirtualPort);
        f.window().options.Rfc2217 = 1;
        if (overTls) {
            f.window().options.Tls = 1;
            f.window().options.TlsTrust = certificates.made.caFile;
        }
        f.window().portNumber.setText(QString::number(port));
        ASSERT_TRUE(f.activate());

        auto program = python(wholeScript(kLocalProgram), {f.vport->devicePath()});
        ASSERT_TRUE(program);
        ASSERT_EQ(program->line(), s("open"));
        ASSERT_TRUE(waitUntil([&] { return f.session->clients().socket(0).state() == pvx::platform::kSocketConnected; }, kStep))
            << f.status(kNetworkLine).toStdString();
        EXPECT_TRUE(waitUntil([&] {
            const termios line = lineOf(device.master());
            return ::cfgetospeed(&line) == static_cast<speed_t>(B19200);
        }, kStep));

        program->say("go");
        const QByteArray data = everyByteValue().left(256 * 64);
        EXPECT_EQ(readDevice(device, data.size()), data);
        ASSERT_EQ(program->line(), s("sent"));
        ASSERT_TRUE(writeDevice(device, data));
        EXPECT_EQ(program->line(), s("same"));
        EXPECT_TRUE(f.session->status().modem.has_value());
    }
}
