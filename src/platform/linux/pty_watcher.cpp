#include "platform/linux/pty_watcher.h"

#include "platform/linux/posix_error.h"

#include <QFile>

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace pvx::platform {

namespace {

constexpr std::uint32_t kWatchedEvents = IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE;
constexpr std::size_t kReadSize = 16 * (sizeof(inotify_event) + NAME_MAX + 1);

} // namespace

PtyWatcher::PtyWatcher()
    : m_inotify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    if (!m_inotify.valid()) {
        m_initError = errno;
        return;
    }
    m_notifier.setSocket(m_inotify.get());
    QObject::connect(&m_notifier, &QSocketNotifier::activated, &m_notifier, [this] { readEvents(); });
    m_notifier.setEnabled(true);
}

Result<int> PtyWatcher::watch(const QString &path, Handler handler)
{
    if (!m_inotify.valid())
        return posixError(m_initError, QStringLiteral("Cannot watch the virtual ports"));
    // Without IN_MASK_CREATE a second watch of the same file would silently
    // replace the first one's handler.
    const int id = ::inotify_add_watch(m_inotify.get(), QFile::encodeName(path).constData(),
                                       kWatchedEvents | IN_MASK_CREATE);
    if (id < 0)
        return posixError(errno, QStringLiteral("Cannot watch %1").arg(path));
    m_handlers[id] = std::move(handler);
    return id;
}

void PtyWatcher::unwatch(int id)
{
    if (m_handlers.erase(id) > 0)
        ::inotify_rm_watch(m_inotify.get(), id);
}

void PtyWatcher::readEvents()
{
    std::vector<char> buffer(kReadSize);
    for (;;) {
        const ssize_t length = ::read(m_inotify.get(), buffer.data(), buffer.size());
        if (length <= 0)
            return;
        for (ssize_t offset = 0; offset < length;) {
            inotify_event event{};
            std::memcpy(&event, buffer.data() + offset, sizeof event);
            offset += static_cast<ssize_t>(sizeof event + event.len);

            // Handlers may unwatch or watch while we deliver: look each one
            // up afresh and call a copy.
            if (event.mask & IN_Q_OVERFLOW) {
                std::vector<int> ids;
                for (const auto &entry : m_handlers)
                    ids.push_back(entry.first);
                for (const int id : ids) {
                    if (const auto found = m_handlers.find(id); found != m_handlers.end()) {
                        const Handler handler = found->second;
                        handler(IN_Q_OVERFLOW);
                    }
                }
                continue;
            }
            if (const auto found = m_handlers.find(event.wd); found != m_handlers.end()) {
                const Handler handler = found->second;
                handler(event.mask);
            }
        }
    }
}

} // namespace pvx::platform
