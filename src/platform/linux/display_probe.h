#pragma once

#include "core/environment.h"

#include <QString>

namespace pvx::platform {

/// Whether a window system answers where the environment points (DISPLAY,
/// WAYLAND_DISPLAY). Returns an empty text when one does, or when neither is
/// set; otherwise the display that was tried, for the message. Asked before
/// the GUI starts: the toolkit aborts the process when its display is gone.
QString unreachableDisplay(const core::EnvironmentLookup &environment);

} // namespace pvx::platform
