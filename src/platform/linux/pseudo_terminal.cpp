#include "platform/linux/pseudo_terminal.h"

#include "platform/linux/posix_error.h"

#include <fcntl.h>
#include <grp.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <optional>
#include <vector>

namespace pvx::platform {

namespace {

std::optional<gid_t> dialoutGroup()
{
    group entry{};
    group *found = nullptr;
    std::vector<char> buffer(4096);
    while (::getgrnam_r("dialout", &entry, buffer.data(), buffer.size(), &found) == ERANGE
           && buffer.size() < 1024 * 1024)
        buffer.resize(buffer.size() * 2);
    if (found == nullptr)
        return std::nullopt;
    return found->gr_gid;
}

// The line settings and the permissions live on the slave; it is opened only
// for this moment, because while this process holds a slave descriptor the
// master can no longer tell when the other program closes it.
Result<void> prepareSlave(const QByteArray &path)
{
    const UniqueFd slave(::open(path.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave.valid())
        return posixError(errno, QStringLiteral("Cannot open %1").arg(QString::fromLocal8Bit(path)));

    termios line{};
    if (::tcgetattr(slave.get(), &line) != 0)
        return posixError(errno, QStringLiteral("Cannot read the line settings of %1").arg(QString::fromLocal8Bit(path)));
    ::cfmakeraw(&line);
    line.c_cflag |= CLOCAL | CREAD;
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    if (::tcsetattr(slave.get(), TCSANOW, &line) != 0)
        return posixError(errno, QStringLiteral("Cannot set the line of %1 to raw mode").arg(QString::fromLocal8Bit(path)));

    // Group write on a terminal would let other users' messages into the line.
    mode_t mode = S_IRUSR | S_IWUSR;
    if (::geteuid() == 0) {
        if (const auto group = dialoutGroup()) {
            if (::fchown(slave.get(), static_cast<uid_t>(-1), *group) != 0)
                return posixError(errno, QStringLiteral("Cannot give %1 to group dialout").arg(QString::fromLocal8Bit(path)));
            mode |= S_IRGRP | S_IWGRP;
        }
    }
    if (::fchmod(slave.get(), mode) != 0)
        return posixError(errno, QStringLiteral("Cannot set the mode of %1").arg(QString::fromLocal8Bit(path)));
    return {};
}

} // namespace

Result<PseudoTerminal> openRawPseudoTerminal()
{
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!master.valid())
        return posixError(errno, QStringLiteral("Cannot open a pseudo-terminal"));
    if (::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0)
        return posixError(errno, QStringLiteral("Cannot unlock a pseudo-terminal"));

    std::array<char, 128> name{};
    if (const int failure = ::ptsname_r(master.get(), name.data(), name.size()); failure != 0)
        return posixError(failure, QStringLiteral("Cannot name a pseudo-terminal"));
    const QByteArray slavePath(name.data());

    if (auto prepared = prepareSlave(slavePath); !prepared)
        return prepared.error();
    return PseudoTerminal{std::move(master), QString::fromLocal8Bit(slavePath)};
}

} // namespace pvx::platform
