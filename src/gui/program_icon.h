#pragma once

#include <QIcon>

namespace pvx::gui {

/// The program's icon for its windows and the notification area: the
/// desktop icon at 16, 32, 48 and 256 pixels, embedded in the program.
QIcon programIcon();

} // namespace pvx::gui
