#pragma once

#include "platform/linux/unique_fd.h"
#include "platform/result.h"

#include <QByteArray>
#include <QSocketNotifier>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>

namespace pvx::platform {

/// The one inotify instance of the process, shared by everything that waits
/// for files to change: the virtual ports (another program opens or closes
/// the device) and the real devices that went away (their folder gets a new
/// entry). Lives on the event-loop thread, longer than its users.
///
/// Several watches may name the same file; each gets its own id and sees
/// the events of its own mask.
class InotifyWatcher {
public:
    struct Event {
        /// The inotify mask of one event. IN_Q_OVERFLOW goes to every watch
        /// when events were lost: look at the file again. IN_IGNORED says
        /// the file is gone and the watch with it (unwatch is still fine).
        std::uint32_t mask = 0;
        /// The entry of a watched folder the event is about; empty when it
        /// is about the watched file itself.
        QByteArray name;
    };
    /// inotify merges identical events that follow each other, so events
    /// are hints to look at the file, not a count.
    using Handler = std::function<void(const Event &)>;

    InotifyWatcher();
    InotifyWatcher(const InotifyWatcher &) = delete;
    InotifyWatcher &operator=(const InotifyWatcher &) = delete;

    /// Starts watching the file or folder at `path` for the events in
    /// `mask` (IN_OPEN, IN_CREATE, ...); returns the id to pass to
    /// unwatch(). Fails when inotify is unavailable or the file cannot be
    /// watched (missing, no permission, the watch limit reached); the
    /// error's code follows errno.
    Result<int> watch(const QString &path, std::uint32_t mask, Handler handler);
    /// Stops the watch; events of it still queued are dropped. The handler
    /// may call this for its own watch.
    void unwatch(int id);

private:
    struct Watch {
        int descriptor = -1;
        std::uint32_t mask = 0;
        Handler handler;
    };

    void readEvents();
    /// Calls the handlers of every watch `selected` picks with `event`.
    void deliver(const Event &event, const std::function<bool(const Watch &)> &selected);

    UniqueFd m_inotify;
    int m_initError = 0;
    QSocketNotifier m_notifier{QSocketNotifier::Read};
    std::map<int, Watch> m_watches;
    int m_nextId = 1;
};

} // namespace pvx::platform
