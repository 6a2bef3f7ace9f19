#include "platform/linux/serial_line_state.h"

// The kernel's termios2 carries the baud rate as a number, custom rates
// included; glibc's <termios.h> cannot be included beside it.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstring>

namespace pvx::platform {

std::optional<SerialLineState> readSerialLineState(int fd)
{
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return std::nullopt;
    SerialLineState state;
    state.baudRate = tio.c_ospeed;
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        state.dataBits = 5;
        break;
    case CS6:
        state.dataBits = 6;
        break;
    case CS7:
        state.dataBits = 7;
        break;
    default:
        state.dataBits = 8;
        break;
    }
    state.parity = (tio.c_cflag & PARENB) != 0;
    state.parityOdd = (tio.c_cflag & PARODD) != 0;
    state.parityStick = (tio.c_cflag & CMSPAR) != 0;
    state.twoStopBits = (tio.c_cflag & CSTOPB) != 0;
    state.rtsCts = (tio.c_cflag & CRTSCTS) != 0;
    state.xonXoff = (tio.c_iflag & IXON) != 0 && (tio.c_iflag & IXOFF) != 0;
    return state;
}

static_assert(sizeof(termios2) == sizeof(SavedLineSettings::bytes));

std::optional<SavedLineSettings> saveLineSettings(int fd)
{
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return std::nullopt;
    SavedLineSettings saved;
    std::memcpy(saved.bytes.data(), &tio, sizeof tio);
    return saved;
}

bool restoreLineSettings(int fd, const SavedLineSettings &saved)
{
    termios2 tio{};
    std::memcpy(&tio, saved.bytes.data(), sizeof tio);
    return ::ioctl(fd, TCSETS2, &tio) == 0;
}

} // namespace pvx::platform
