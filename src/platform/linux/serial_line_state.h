#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace pvx::platform {

/// The line settings a serial driver reports back, read with the kernel's
/// own terminal call (drivers may accept a setting and silently keep
/// another one).
struct SerialLineState {
    std::int64_t baudRate = 0;
    int dataBits = 8;
    bool parity = false;
    bool parityOdd = false;
    bool parityStick = false;
    bool twoStopBits = false;
    bool rtsCts = false;
    bool xonXoff = false;
};

/// The settings of the open terminal `fd`; nothing when it is no terminal.
std::optional<SerialLineState> readSerialLineState(int fd);

/// A terminal's whole line setting, speeds included, kept to be put back
/// exactly as it was.
struct SavedLineSettings {
    alignas(4) std::array<std::byte, 44> bytes{};
};

/// The line setting of the terminal `fd`; nothing when it is no terminal.
std::optional<SavedLineSettings> saveLineSettings(int fd);
/// Puts `saved` back on `fd`; false when the terminal refuses.
bool restoreLineSettings(int fd, const SavedLineSettings &saved);

} // namespace pvx::platform
