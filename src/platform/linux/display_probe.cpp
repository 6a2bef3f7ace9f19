#include "platform/linux/display_probe.h"

#include "platform/linux/unique_fd.h"

#include <QFile>

#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <xcb/xcb.h>

namespace pvx::platform {

namespace {

bool x11Answers(const QString &display)
{
    xcb_connection_t *connection = xcb_connect(QFile::encodeName(display).constData(), nullptr);
    // xcb_connect never returns null: a failed connection is an error object
    // that still has to be freed.
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
}

/// The compositor's socket: a path, or a name in XDG_RUNTIME_DIR.
bool waylandAnswers(const QString &display, const QString &runtimeDir)
{
    const bool absolute = display.startsWith(QLatin1Char('/'));
    if (!absolute && runtimeDir.isEmpty())
        return false;
    const QByteArray path = QFile::encodeName(absolute ? display : runtimeDir + QLatin1Char('/') + display);
    sockaddr_un address {};
    if (static_cast<std::size_t>(path.size()) >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    const UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return socket.valid()
           && ::connect(socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
}

} // namespace

QString unreachableDisplay(const core::EnvironmentLookup &environment)
{
    const QString wayland = environment("WAYLAND_DISPLAY");
    const QString x11 = environment("DISPLAY");
    if (!wayland.isEmpty() && waylandAnswers(wayland, environment("XDG_RUNTIME_DIR")))
        return {};
    if (!x11.isEmpty() && x11Answers(x11))
        return {};
    return x11.isEmpty() ? wayland : x11;
}

} // namespace pvx::platform
