#pragma once

// The real program as a test runs it, and what it needs around it: a
// configuration file, the far end of a virtual port.
#include "support/text.h"

#include <QFile>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace pvx::testing {

constexpr int kStopMs = 15000;
constexpr std::chrono::seconds kStart(15);
constexpr std::chrono::seconds kData(10);

/// How a test starts the program beyond its arguments.
struct PorvixOptions {
    QString workingDirectory = {};
    /// The X display the program is given; none by default.
    QString display = {};
    /// Variables set on top of the test's isolated environment.
    QList<QPair<QString, QString>> environment = {};
    /// A program and its arguments that run the program (setpriv ...).
    QStringList runner = {};
};

/// The program under test, with the test's isolated environment, no display
/// and no service manager.
class Porvix {
public:
    explicit Porvix(const QStringList &arguments, const PorvixOptions &options = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "NOTIFY_SOCKET"})
            environment.remove(QLatin1String(variable));
        if (!options.display.isEmpty())
            environment.insert(s("DISPLAY"), options.display);
        for (const auto &[name, value] : options.environment)
            environment.insert(name, value);
        m_process.setProcessEnvironment(environment);
        // Whatever the test runner ignores, the program starts as a shell would start it.
        m_process.setChildProcessModifier([] { ::signal(SIGHUP, SIG_DFL); });
        if (!options.workingDirectory.isEmpty())
            m_process.setWorkingDirectory(options.workingDirectory);
        if (options.runner.isEmpty())
            m_process.start(QStringLiteral(PVX_BINARY), arguments);
        else
            m_process.start(options.runner.first(),
                            options.runner.mid(1) + QStringList{QStringLiteral(PVX_BINARY)} + arguments);
    }
    ~Porvix()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(kStopMs);
        }
    }

    bool started() { return m_process.waitForStarted(kStopMs); }
    qint64 pid() const { return m_process.processId(); }
    void signal(int number) { ::kill(static_cast<pid_t>(m_process.processId()), number); }
    /// Waits for the end, unless an event loop has seen it already; the exit
    /// code, or -1 when it did not end normally.
    int finish()
    {
        const bool ended = m_process.state() == QProcess::NotRunning || m_process.waitForFinished(kStopMs);
        if (!ended || m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        return m_process.exitCode();
    }
    QString output() { return QString::fromLocal8Bit(m_process.readAllStandardOutput()); }
    QString errors() { return QString::fromLocal8Bit(m_process.readAllStandardError()); }

private:
    QProcess m_process;
};

/// What a run that the test waits out said and how it ended.
struct Finished {
    int exitCode = -1;
    QString output;
    QString errors;
};

/// Runs the program to its end.
inline Finished runPorvix(const QStringList &arguments, const PorvixOptions &options = {})
{
    Porvix run(arguments, options);
    EXPECT_TRUE(run.started());
    const int exitCode = run.finish();
    return {exitCode, run.output(), run.errors()};
}

/// The test's side of a virtual port: a program that opens it raw.
class PortUser {
public:
    explicit PortUser(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios settings {};
        if (m_fd >= 0 && ::tcgetattr(m_fd, &settings) == 0) {
            ::cfmakeraw(&settings);
            ::tcsetattr(m_fd, TCSANOW, &settings);
        }
    }
    ~PortUser()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_fd >= 0; }
    bool write(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), static_cast<std::size_t>(bytes.size())) == bytes.size();
    }
    /// Writes what the port takes now; how much that was.
    qsizetype writeSome(QByteArrayView bytes)
    {
        const ssize_t wrote = ::write(m_fd, bytes.data(), static_cast<std::size_t>(bytes.size()));
        return wrote > 0 ? wrote : 0;
    }
    QByteArray read()
    {
        char buffer[4096];
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        return got > 0 ? QByteArray(buffer, static_cast<qsizetype>(got)) : QByteArray();
    }

private:
    int m_fd;
};

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// One client session on the virtual port COM<connector>, stored as active.
inline QByteArray clientConfiguration(const QString &portFolder, int connector, quint16 port)
{
    return QStringLiteral("[Porvix]\r\nNumSessions=1\r\nVirtualPortDir=%1\r\n"
                          "[Session1]\r\nConnector=%2\r\nCreateVirtualPort=1\r\nIPAddress=127.0.0.1\r\n"
                          "PortNumber=%3\r\nTCPOption=0\r\nConnectOnVirtualOpen=0\r\nAutoActivate=1\r\n")
        .arg(portFolder)
        .arg(connector)
        .arg(port)
        .toUtf8();
}


} // namespace pvx::testing
