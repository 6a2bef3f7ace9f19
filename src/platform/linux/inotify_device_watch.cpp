#include "platform/linux/inotify_device_watch.h"

#include "platform/linux/device_path.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/inotify.h>

namespace pvx::platform {

namespace {

/// An entry made, moved in, or given new permissions (the system makes a
/// device node first and opens it to its users a moment later); the
/// watched folder itself going away.
constexpr std::uint32_t kFolderEvents =
    IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t kFolderGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;
/// Where serial programs mark a device taken, with a file "LCK.." and its name.
const QLatin1String kLockFolder("/run/lock");

QString parentOf(const QString &path)
{
    return QFileInfo(path).path();
}

/// The path of the entry in `folder` that lies on the way to `path`.
QString nextOnTheWay(const QString &folder, const QString &path)
{
    const qsizetype start = folder.endsWith(QLatin1Char('/')) ? folder.size() : folder.size() + 1;
    const qsizetype end = path.indexOf(QLatin1Char('/'), start);
    return end < 0 ? path : path.left(end);
}

} // namespace

InotifyDeviceWatch::InotifyDeviceWatch(InotifyWatcher &watcher) : m_watcher(watcher) {}

InotifyDeviceWatch::~InotifyDeviceWatch()
{
    for (const auto &[id, watch] : m_watches)
        m_watcher.unwatch(watch.watchId);
    for (const auto &[id, release] : m_releases) {
        m_watcher.unwatch(release.nodeWatchId);
        m_watcher.unwatch(release.lockWatchId);
    }
}

Result<int> InotifyDeviceWatch::watch(const QString &device, std::function<void()> mayHaveAppeared)
{
    const int id = m_nextId++;
    PathWatch watch{QDir::cleanPath(QFileInfo(serialDevicePath(device)).absoluteFilePath()), {}, -1,
                    std::move(mayHaveAppeared)};
    if (auto armed = arm(id, watch); !armed)
        return armed.error();
    m_watches.emplace(id, std::move(watch));
    return id;
}

Result<int> InotifyDeviceWatch::watchRelease(const QString &device, std::function<void()> mayBeFree)
{
    const int id = m_nextId++;
    const QString path = serialDevicePath(device);
    // Any event of the node is a hint: a close, or the node itself gone.
    const auto node = m_watcher.watch(path, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE,
                                      [this, id](const InotifyWatcher::Event &) { onRelease(id); });
    if (!node)
        return node.error();
    ReleaseWatch release{*node, -1, std::move(mayBeFree)};
    // Serial programs name the lock after the device's file name; the serial
    // port we use names it after the path below /dev, with '_' for '/'.
    QString belowDev = path.startsWith(QLatin1String("/dev/")) ? path.mid(5) : path;
    belowDev.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QByteArrayList lockNames{QByteArrayLiteral("LCK..") + QFile::encodeName(QFileInfo(path).fileName()),
                                   QByteArrayLiteral("LCK..") + QFile::encodeName(belowDev)};
    const auto lock = m_watcher.watch(kLockFolder, IN_DELETE | IN_MOVED_FROM | IN_ONLYDIR,
                                      [this, id, lockNames](const InotifyWatcher::Event &event) {
                                          if (lockNames.contains(event.name) || (event.mask & IN_Q_OVERFLOW) != 0)
                                              onRelease(id);
                                      });
    if (lock)
        release.lockWatchId = *lock;
    m_releases.emplace(id, std::move(release));
    return id;
}

void InotifyDeviceWatch::cancel(int id)
{
    if (const auto found = m_watches.find(id); found != m_watches.end()) {
        m_watcher.unwatch(found->second.watchId);
        m_watches.erase(found);
    }
    if (const auto found = m_releases.find(id); found != m_releases.end()) {
        m_watcher.unwatch(found->second.nodeWatchId);
        m_watcher.unwatch(found->second.lockWatchId);
        m_releases.erase(found);
    }
}

void InotifyDeviceWatch::onRelease(int id)
{
    const auto found = m_releases.find(id);
    if (found == m_releases.end())
        return;
    // The callback may cancel this watch.
    const auto mayBeFree = found->second.mayBeFree;
    mayBeFree();
}

Result<void> InotifyDeviceWatch::arm(int id, PathWatch &watch)
{
    // A folder on the way may be made between the failed watch of it and the
    // watch of the folder above, unseen by either: then go down again. Each
    // round goes at least one folder deeper, or ends.
    for (qsizetype round = watch.path.count(QLatin1Char('/')); round > 0; --round) {
        if (auto watched = watchNearestFolder(id, watch); !watched)
            return watched;
        if (watch.folder == parentOf(watch.path) || !QFileInfo(nextOnTheWay(watch.folder, watch.path)).isDir())
            return {};
    }
    return {};
}

Result<void> InotifyDeviceWatch::watchNearestFolder(int id, PathWatch &watch)
{
    m_watcher.unwatch(watch.watchId);
    watch.watchId = -1;
    // Climb while a folder on the way is missing or is no folder; the root
    // is always there.
    for (QString folder = parentOf(watch.path);; folder = parentOf(folder)) {
        const auto watched = m_watcher.watch(folder, kFolderEvents,
                                             [this, id](const InotifyWatcher::Event &event) { onEvent(id, event); });
        if (watched) {
            watch.folder = folder;
            watch.watchId = *watched;
            return {};
        }
        if (watched.error().code != ErrorCode::NotFound || folder == QLatin1String("/"))
            return watched.error();
    }
}

void InotifyDeviceWatch::onEvent(int id, const InotifyWatcher::Event &event)
{
    const auto found = m_watches.find(id);
    if (found == m_watches.end())
        return;
    PathWatch &watch = found->second;
    const QString deviceFolder = parentOf(watch.path);
    const bool lost = (event.mask & IN_Q_OVERFLOW) != 0;
    const bool folderGone = (event.mask & kFolderGone) != 0;
    if (!lost && !folderGone
        && event.name != QFile::encodeName(QFileInfo(nextOnTheWay(watch.folder, watch.path)).fileName()))
        return;
    // A folder on the way came or went: watch the nearest one now. Should
    // none be left (no permission any more), the hints end: nothing else
    // would tell. A device folder watched anew may hold the device already.
    if (lost || folderGone || watch.folder != deviceFolder) {
        (void)arm(id, watch);
        if (!lost && watch.folder != deviceFolder)
            return;
    }
    // The callback may cancel this watch.
    const auto mayHaveAppeared = watch.mayHaveAppeared;
    mayHaveAppeared();
}

} // namespace pvx::platform
