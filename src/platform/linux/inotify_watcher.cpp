#include "platform/linux/inotify_watcher.h"

#include "platform/linux/posix_error.h"

#include <QFile>

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace pvx::platform {

namespace {

constexpr std::size_t kReadSize = 16 * (sizeof(inotify_event) + NAME_MAX + 1);
/// What every watch hears of, whatever it asked for.
constexpr std::uint32_t kAlwaysDelivered = IN_IGNORED | IN_UNMOUNT | IN_Q_OVERFLOW;

} // namespace

InotifyWatcher::InotifyWatcher()
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

Result<int> InotifyWatcher::watch(const QString &path, std::uint32_t mask, Handler handler)
{
    if (!m_inotify.valid())
        return posixError(m_initError, QStringLiteral("Cannot watch files"));
    // A file watched already keeps its descriptor: the masks add up, and
    // each watch filters the events for itself.
    const int descriptor = ::inotify_add_watch(m_inotify.get(), QFile::encodeName(path).constData(), mask | IN_MASK_ADD);
    if (descriptor < 0)
        return posixError(errno, QStringLiteral("Cannot watch %1").arg(path));
    const int id = m_nextId++;
    m_watches[id] = Watch{descriptor, mask, std::move(handler)};
    return id;
}

void InotifyWatcher::unwatch(int id)
{
    const auto found = m_watches.find(id);
    if (found == m_watches.end())
        return;
    const int descriptor = found->second.descriptor;
    m_watches.erase(found);
    if (descriptor < 0)
        return;
    for (const auto &[other, watch] : m_watches) {
        if (watch.descriptor == descriptor)
            return;
    }
    ::inotify_rm_watch(m_inotify.get(), descriptor);
}

void InotifyWatcher::readEvents()
{
    std::vector<char> buffer(kReadSize);
    for (;;) {
        const ssize_t length = ::read(m_inotify.get(), buffer.data(), buffer.size());
        if (length <= 0)
            return;
        for (ssize_t offset = 0; offset < length;) {
            inotify_event header{};
            std::memcpy(&header, buffer.data() + offset, sizeof header);
            // The name is padded with NULs to the record's length.
            const char *name = buffer.data() + offset + sizeof header;
            const Event event{header.mask, header.len > 0 ? QByteArray(name, qstrnlen(name, header.len)) : QByteArray()};
            offset += static_cast<ssize_t>(sizeof header + header.len);

            if (header.mask & IN_Q_OVERFLOW) {
                deliver(event, [](const Watch &) { return true; });
                continue;
            }
            deliver(event, [&](const Watch &watch) {
                return watch.descriptor == header.wd && (header.mask & (watch.mask | kAlwaysDelivered)) != 0;
            });
            // The kernel has dropped the descriptor and may hand its number
            // out again: the watches left on it must not remove a stranger.
            if (header.mask & IN_IGNORED) {
                for (auto &[id, watch] : m_watches) {
                    if (watch.descriptor == header.wd)
                        watch.descriptor = -1;
                }
            }
        }
    }
}

void InotifyWatcher::deliver(const Event &event, const std::function<bool(const Watch &)> &selected)
{
    // Handlers may unwatch or watch while we deliver: pick the ids first,
    // look each one up afresh and call a copy.
    std::vector<int> ids;
    for (const auto &[id, watch] : m_watches) {
        if (selected(watch))
            ids.push_back(id);
    }
    for (const int id : ids) {
        if (const auto found = m_watches.find(id); found != m_watches.end()) {
            const Handler handler = found->second.handler;
            handler(event);
        }
    }
}

} // namespace pvx::platform
