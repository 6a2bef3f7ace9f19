#pragma once

#include "platform/device_watch.h"
#include "platform/linux/inotify_watcher.h"

#include <map>

namespace pvx::platform {

/// Watches device paths with inotify: the folder that holds the device, or,
/// while that folder is missing (the system removes /dev/serial/by-id with
/// its last device), the nearest folder above it that exists, going down
/// again as the missing folders are made. A hint follows every entry made,
/// moved in or changed at the device's own name, and every time the watch
/// has just gone down into a new folder (its entries may predate the watch).
///
/// Paths are taken by their text: a folder that moves away or is removed is
/// left for the one now at its path. `watcher` must outlive this object.
class InotifyDeviceWatch final : public DeviceWatch {
public:
    explicit InotifyDeviceWatch(InotifyWatcher &watcher);
    ~InotifyDeviceWatch() override;
    InotifyDeviceWatch(const InotifyDeviceWatch &) = delete;
    InotifyDeviceWatch &operator=(const InotifyDeviceWatch &) = delete;

    /// `device` as the serial port takes it (a bare name lies under /dev).
    /// Fails when no folder on its way can be watched.
    Result<int> watch(const QString &device, std::function<void()> mayHaveAppeared) override;
    /// Watches the device node for closes and the lock folder (/run/lock)
    /// for the removal of its "LCK.." file ("LCK..ttyUSB0", or for a path
    /// outside /dev "LCK.._path_to_dev" as well); without a lock folder,
    /// closes alone. Fails when the node cannot be watched (it is gone).
    Result<int> watchRelease(const QString &device, std::function<void()> mayBeFree) override;
    void cancel(int id) override;

private:
    struct PathWatch {
        /// The device's absolute path.
        QString path;
        /// The folder watched now: the device's own, or one above it.
        QString folder;
        int watchId = -1;
        std::function<void()> mayHaveAppeared;
    };

    /// Watches the deepest existing folder on the way to the device.
    Result<void> arm(int id, PathWatch &watch);
    Result<void> watchNearestFolder(int id, PathWatch &watch);
    void onEvent(int id, const InotifyWatcher::Event &event);
    void onRelease(int id);

    struct ReleaseWatch {
        int nodeWatchId = -1;
        int lockWatchId = -1;
        std::function<void()> mayBeFree;
    };

    InotifyWatcher &m_watcher;
    std::map<int, PathWatch> m_watches;
    std::map<int, ReleaseWatch> m_releases;
    int m_nextId = 1;
};

} // namespace pvx::platform
