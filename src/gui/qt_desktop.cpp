#include "gui/qt_desktop.h"

#include <QDesktopServices>
#include <QUrl>

namespace pvx::gui {

bool QtDesktop::openUrl(const QString &url)
{
    return QDesktopServices::openUrl(QUrl(url));
}

} // namespace pvx::gui
