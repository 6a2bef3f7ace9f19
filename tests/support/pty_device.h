#pragma once

#include <QByteArray>
#include <QString>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace pvx::testing {

// A pseudo-terminal whose slave stands in for a serial device; the test
// plays the device on the master side.
class Pty {
public:
    Pty()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0)
            m_slave = QString::fromLocal8Bit(::ptsname(m_master));
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool ok() const { return m_master >= 0 && !m_slave.isEmpty(); }
    const QString &slave() const { return m_slave; }
    /// The master's descriptor (non-blocking), for a test that drives it from the event loop.
    int master() const { return m_master; }

    // Writes as much of `bytes` as the terminal takes now.
    qint64 write(const QByteArray &bytes)
    {
        const ssize_t n = ::write(m_master, bytes.constData(), static_cast<size_t>(bytes.size()));
        return n < 0 ? 0 : n;
    }
    QByteArray read()
    {
        char buffer[4096];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        return n > 0 ? QByteArray(buffer, static_cast<qsizetype>(n)) : QByteArray();
    }
    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    QString m_slave;
};

} // namespace pvx::testing
