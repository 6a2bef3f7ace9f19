#pragma once

#include "platform/linux/unique_fd.h"
#include "platform/result.h"

#include <QSocketNotifier>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>

namespace pvx::platform {

/// One inotify instance that tells every virtual port of the process when
/// another program opens or closes its device. Lives on the event-loop
/// thread, longer than the ports that use it.
class PtyWatcher {
public:
    /// Called with the inotify mask of one event (IN_OPEN, IN_CLOSE_WRITE,
    /// IN_CLOSE_NOWRITE, ...), or with IN_Q_OVERFLOW when events were lost
    /// and every watcher should look at its device again. inotify merges
    /// identical events that follow each other, so events are hints to look
    /// at the device, not a count of opens and closes.
    using Handler = std::function<void(std::uint32_t mask)>;

    PtyWatcher();
    PtyWatcher(const PtyWatcher &) = delete;
    PtyWatcher &operator=(const PtyWatcher &) = delete;

    /// Starts watching opens and closes of the file at `path`; returns the id
    /// to pass to unwatch(). Fails when inotify is unavailable or the file
    /// is already watched here.
    Result<int> watch(const QString &path, Handler handler);
    /// Stops the watch; events of it still queued are dropped. The handler
    /// may call this for its own watch.
    void unwatch(int id);

private:
    void readEvents();

    UniqueFd m_inotify;
    int m_initError = 0;
    QSocketNotifier m_notifier{QSocketNotifier::Read};
    std::map<int, Handler> m_handlers;
};

} // namespace pvx::platform
