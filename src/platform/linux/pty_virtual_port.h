#pragma once

#include "platform/linux/inotify_watcher.h"
#include "platform/linux/port_link.h"
#include "platform/linux/unique_fd.h"
#include "platform/virtual_port.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace pvx::platform {

/// A virtual serial port made of a pseudo-terminal: this object holds the
/// master in raw mode, and the port is a symbolic link "<name>" to the slave
/// in the virtual-port folder, claimed by the lock file "<name>.lock" while
/// the port exists. Another program's opens and closes of the slave are
/// reported within a fraction of a second (inotify, then the master's hang-up
/// state). Events are raised from the event loop, never from inside a call;
/// the object must not be destroyed from inside one of its events.
class PtyVirtualPort final : public VirtualPort {
public:
    /// `folder` gives the virtual-port folder; it is asked again at every
    /// create() and resetBus(). `watcher` must outlive this object.
    PtyVirtualPort(InotifyWatcher &watcher, std::function<QString()> folder);
    ~PtyVirtualPort() override;
    PtyVirtualPort(const PtyVirtualPort &) = delete;
    PtyVirtualPort &operator=(const PtyVirtualPort &) = delete;

    Result<void> create(const QString &name) override;
    /// Removes the link first; when it cannot be removed, fails and leaves
    /// the port working.
    Result<void> remove() override;
    bool exists() const override;
    QString devicePath() const override;

    /// Never blocks: returns 0 when the kernel's queue is full. Bytes
    /// written while no program has the port open wait for the next one.
    /// A short write while the port is open arms `writable`.
    qint64 write(const QByteArray &bytes) override;
    QByteArray read(qint64 maxBytes) override;
    qint64 bytesAvailable() const override;
    void discardInput() override;
    bool isOpenedByApplication() const override;
    std::optional<SerialSettings> lineSettings() const override;

    /// Removes the stale links in the current virtual-port folder.
    void resetBus() override;

    void setEvents(Events events) override;

private:
    /// Closes the master and stops watching the slave.
    void closeTerminal();
    void onSlaveEvent(std::uint32_t mask);
    void onReadable();
    void onRecheck();
    void onDeferredData();
    bool slaveHungUp() const;
    void setOpened(bool opened);
    void keepLeftover();
    qint64 queuedInMaster() const;
    void forgetQueuedCount();
    void raiseDataReceived();
    void updateReadNotifier();
    void onWritable();

    InotifyWatcher &m_watcher;
    std::function<QString()> m_folder;
    Events m_events;

    UniqueFd m_master;
    std::optional<PortLink> m_link;
    int m_watchId = -1;
    /// Counts creates and removes, so that an event handler that removed the
    /// port stops the events queued behind it.
    std::uint64_t m_generation = 0;

    bool m_opened = false;
    bool m_dataRaised = false;
    /// What the master held when last asked, less what was read since: more
    /// that arrives wakes the read notifier, which has the count asked anew.
    mutable qint64 m_queued = 0;
    mutable bool m_queuedKnown = false;
    /// Where the look-agains after a close event stand (see the .cpp).
    std::size_t m_recheckStep = 0;
    /// What the other program wrote before it closed the slave: read out of
    /// the master at once, since the master refuses reads (EIO) once drained.
    QByteArray m_leftover;

    QSocketNotifier m_readNotifier{QSocketNotifier::Read};
    /// Armed by a short write, so that the writer learns when room appears.
    QSocketNotifier m_writeNotifier{QSocketNotifier::Write};
    QTimer m_recheck;
    QTimer m_deferredData;
};

} // namespace pvx::platform
