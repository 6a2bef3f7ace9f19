#include "gui/program_icon.h"

// The resource is compiled into a static library, whose unreferenced objects
// the linker drops: registering it here keeps it in the program. Outside any
// namespace, as the macro declares the resource's own function where it
// stands.
static void registerIconResource()
{
    Q_INIT_RESOURCE(program_icon);
}

namespace pvx::gui {

QIcon programIcon()
{
    [[maybe_unused]] static const bool registered = (registerIconResource(), true);
    QIcon icon;
    for (const int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/porvix-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace pvx::gui
