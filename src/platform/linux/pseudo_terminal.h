#pragma once

#include "platform/linux/unique_fd.h"
#include "platform/result.h"

#include <QString>

namespace pvx::platform {

/// A pseudo-terminal whose master this process holds and whose slave other
/// programs open.
struct PseudoTerminal {
    /// Non-blocking, closed on exec.
    UniqueFd master;
    /// The slave device, e.g. "/dev/pts/3".
    QString slavePath;
};

/// Opens a pseudo-terminal with its line in raw mode (no echo, no newline
/// translation, no flow-control characters, eight bits). The slave is left
/// closed, user-only; when running as root it goes to group "dialout" (when
/// that group exists) with mode 0660, like a real serial port.
Result<PseudoTerminal> openRawPseudoTerminal();

} // namespace pvx::platform
