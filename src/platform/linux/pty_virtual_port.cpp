#include "platform/linux/pty_virtual_port.h"

#include "platform/linux/descriptor_read.h"
#include "platform/linux/pseudo_terminal.h"
#include "platform/linux/serial_line_state.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>

namespace pvx::platform {

namespace {

using namespace std::chrono_literals;

// inotify reports a close just before the kernel lets go of the slave, so
// the master's hang-up may show a moment after the event: look again soon,
// then every second while the port is open, in case a close went unseen.
constexpr std::array kCloseRechecks = {20ms, 100ms, 400ms};
constexpr auto kSafetyRecheck = 1000ms;

// The other side is closed while we drain, so this only bounds the case
// where it reopens and writes without pause meanwhile.
constexpr qsizetype kMaxLeftoverDrain = 256 * 1024;
constexpr std::size_t kChunkSize = 4096;

} // namespace

PtyVirtualPort::PtyVirtualPort(InotifyWatcher &watcher, std::function<QString()> folder)
    : m_watcher(watcher), m_folder(std::move(folder))
{
    QObject::connect(&m_readNotifier, &QSocketNotifier::activated, &m_readNotifier, [this] { onReadable(); });
    m_writeNotifier.setEnabled(false);
    QObject::connect(&m_writeNotifier, &QSocketNotifier::activated, &m_writeNotifier, [this] { onWritable(); });
    m_recheck.setSingleShot(true);
    QObject::connect(&m_recheck, &QTimer::timeout, &m_recheck, [this] { onRecheck(); });
    m_deferredData.setSingleShot(true);
    m_deferredData.setInterval(0);
    QObject::connect(&m_deferredData, &QTimer::timeout, &m_deferredData, [this] { onDeferredData(); });
}

PtyVirtualPort::~PtyVirtualPort()
{
    // A link that cannot be removed is left to read as stale.
    if (exists() && !remove())
        closeTerminal();
}

Result<void> PtyVirtualPort::create(const QString &name)
{
    if (exists())
        return makeError(ErrorCode::WrongState, QStringLiteral("A virtual port already exists at %1").arg(devicePath()));

    auto claimed = PortLink::claim(m_folder(), name);
    if (!claimed)
        return claimed.error();
    auto terminal = openRawPseudoTerminal();
    if (!terminal)
        return terminal.error();
    const auto watched = m_watcher.watch(terminal->slavePath, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE,
                                         [this](const InotifyWatcher::Event &event) { onSlaveEvent(event.mask); });
    if (!watched)
        return watched.error();
    // The link appears only once the watch is armed, so no open goes unseen.
    if (auto linked = claimed->link(terminal->slavePath); !linked) {
        m_watcher.unwatch(*watched);
        return linked.error();
    }

    ++m_generation;
    m_master = std::move(terminal->master);
    m_link.emplace(std::move(*claimed));
    m_watchId = *watched;
    m_leftover.clear();
    m_dataRaised = false;
    forgetQueuedCount();
    // Only a program that guessed the device's name can hold it already.
    m_opened = !slaveHungUp();
    if (m_opened)
        m_recheck.start(kSafetyRecheck);
    m_readNotifier.setSocket(m_master.get());
    m_writeNotifier.setSocket(m_master.get());
    m_writeNotifier.setEnabled(false);
    updateReadNotifier();
    return {};
}

Result<void> PtyVirtualPort::remove()
{
    if (!exists())
        return {};
    // The link goes first: while it cannot, the port stays as it is, and
    // the program on it keeps working.
    if (auto released = m_link->release(); !released)
        return released;
    m_link.reset();
    closeTerminal();
    return {};
}

void PtyVirtualPort::closeTerminal()
{
    ++m_generation;
    m_watcher.unwatch(m_watchId);
    m_watchId = -1;
    m_readNotifier.setEnabled(false);
    m_writeNotifier.setEnabled(false);
    m_recheck.stop();
    m_deferredData.stop();
    m_master.reset();
    m_opened = false;
    m_dataRaised = false;
    m_leftover.clear();
    forgetQueuedCount();
}

bool PtyVirtualPort::exists() const
{
    return m_master.valid();
}

QString PtyVirtualPort::devicePath() const
{
    return m_link ? m_link->path() : QString();
}

qint64 PtyVirtualPort::write(const QByteArray &bytes)
{
    // A short write armed the notifier: nothing fits before it fires, and a
    // try would only cost a failed system call.
    if (!exists() || bytes.isEmpty() || m_writeNotifier.isEnabled())
        return 0;
    for (;;) {
        const ssize_t written = ::write(m_master.get(), bytes.constData(), static_cast<std::size_t>(bytes.size()));
        if (written >= 0 || errno != EINTR) {
            // Only while the program is there: without it nobody makes room.
            if (written < bytes.size() && isOpenedByApplication())
                m_writeNotifier.setEnabled(true);
            return std::max<ssize_t>(written, 0);
        }
    }
}

void PtyVirtualPort::onWritable()
{
    m_writeNotifier.setEnabled(false);
    if (isOpenedByApplication() && m_events.writable)
        m_events.writable();
}

QByteArray PtyVirtualPort::read(qint64 maxBytes)
{
    if (!exists())
        return {};
    QByteArray taken = m_leftover.left(std::max<qint64>(maxBytes, 0));
    m_leftover.remove(0, taken.size());

    // Only what the master holds: a read that finds it empty makes the
    // kernel flush the terminal's input queue first, a wait far dearer than
    // asking how much there is.
    const qint64 wanted = std::min(std::max<qint64>(maxBytes, 0) - taken.size(), queuedInMaster());
    if (wanted > 0) {
        const qsizetype start = taken.size();
        taken.resize(start + wanted);
        // A pseudo-terminal hands out about 4 KiB per read.
        const qint64 got = readUpTo(m_master.get(), taken.data() + start, wanted);
        taken.resize(start + got);
        m_queued = got < wanted ? 0 : m_queued - got;
    }

    m_dataRaised = false;
    updateReadNotifier();
    if (!m_leftover.isEmpty())
        m_deferredData.start();
    return taken;
}

qint64 PtyVirtualPort::bytesAvailable() const
{
    return m_leftover.size() + queuedInMaster();
}

void PtyVirtualPort::discardInput()
{
    if (!exists())
        return;
    m_leftover.clear();
    ::tcflush(m_master.get(), TCIFLUSH);
    forgetQueuedCount();
    m_dataRaised = false;
    updateReadNotifier();
}

std::optional<SerialSettings> PtyVirtualPort::lineSettings() const
{
    // The master reports the terminal settings the program made on its side.
    if (!m_master.valid())
        return std::nullopt;
    const auto line = readSerialLineState(m_master.get());
    if (!line)
        return std::nullopt;
    SerialSettings settings;
    settings.baudRate = static_cast<qint32>(line->baudRate);
    settings.stopBits = line->twoStopBits ? StopBits::Two : StopBits::One;
    settings.handshaking = line->rtsCts ? Handshaking::RtsCts : line->xonXoff ? Handshaking::XonXoff : Handshaking::None;
    return settings;
}

bool PtyVirtualPort::isOpenedByApplication() const
{
    // An open the watcher has not reported yet counts already: bytes for
    // the program are not thrown away in the meantime.
    return m_opened || (exists() && !slaveHungUp());
}

void PtyVirtualPort::resetBus()
{
    removeStaleLinks(m_folder());
}

void PtyVirtualPort::setEvents(Events events)
{
    m_events = std::move(events);
}

void PtyVirtualPort::onSlaveEvent(std::uint32_t mask)
{
    if (mask & IN_OPEN) {
        setOpened(true);
        return;
    }
    if (!(mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE | IN_Q_OVERFLOW)))
        return;
    if (slaveHungUp()) {
        setOpened(false);
    } else if (mask & IN_Q_OVERFLOW) {
        setOpened(true);
    } else if (m_opened) {
        // Another holder remains, or the kernel has not yet let go of the slave.
        m_recheckStep = 0;
        m_recheck.start(kCloseRechecks[0]);
    }
}

void PtyVirtualPort::onReadable()
{
    // The last arrival is still unread: wait for the read rather than fire
    // without end. Switching the notifier off only then, not on every
    // arrival, spares the event loop a change of its poll set per chunk.
    forgetQueuedCount();
    if (m_dataRaised) {
        m_readNotifier.setEnabled(false);
        return;
    }
    if (queuedInMaster() > 0)
        raiseDataReceived();
    else if (slaveHungUp())
        setOpened(false);
}

void PtyVirtualPort::onRecheck()
{
    if (!exists() || !m_opened)
        return;
    if (slaveHungUp()) {
        setOpened(false);
        return;
    }
    if (++m_recheckStep < kCloseRechecks.size())
        m_recheck.start(kCloseRechecks[m_recheckStep]);
    else
        m_recheck.start(kSafetyRecheck);
}

void PtyVirtualPort::onDeferredData()
{
    if (exists() && !m_dataRaised && !m_leftover.isEmpty())
        raiseDataReceived();
}

bool PtyVirtualPort::slaveHungUp() const
{
    // Valid only because this process keeps no descriptor of the slave.
    pollfd master{m_master.get(), 0, 0};
    return ::poll(&master, 1, 0) == 1 && (master.revents & POLLHUP) != 0;
}

void PtyVirtualPort::setOpened(bool opened)
{
    if (opened == m_opened)
        return;
    m_opened = opened;
    if (opened) {
        m_recheckStep = kCloseRechecks.size();
        m_recheck.start(kSafetyRecheck);
    } else {
        m_recheck.stop();
        m_writeNotifier.setEnabled(false);
        keepLeftover();
    }
    updateReadNotifier();

    // What the program wrote before it closed comes before the close.
    const std::uint64_t generation = m_generation;
    if (!opened && !m_leftover.isEmpty() && !m_dataRaised) {
        raiseDataReceived();
        if (generation != m_generation)
            return;
    }
    if (m_events.openedChanged)
        m_events.openedChanged(opened);
}

void PtyVirtualPort::keepLeftover()
{
    forgetQueuedCount();
    std::array<char, kChunkSize> chunk{};
    while (m_leftover.size() < kMaxLeftoverDrain) {
        const ssize_t got = ::read(m_master.get(), chunk.data(), chunk.size());
        if (got > 0)
            m_leftover.append(chunk.data(), got);
        else if (got < 0 && errno == EINTR)
            continue;
        else
            break;
    }
}

qint64 PtyVirtualPort::queuedInMaster() const
{
    // Trusted only while the notifier watches for more.
    if (m_queuedKnown && m_readNotifier.isEnabled())
        return m_queued;
    int queued = 0;
    if (!exists() || ::ioctl(m_master.get(), FIONREAD, &queued) != 0)
        return 0;
    m_queued = queued;
    m_queuedKnown = true;
    return m_queued;
}

void PtyVirtualPort::forgetQueuedCount()
{
    m_queuedKnown = false;
}

void PtyVirtualPort::raiseDataReceived()
{
    m_dataRaised = true;
    if (m_events.dataReceived)
        m_events.dataReceived();
}

void PtyVirtualPort::updateReadNotifier()
{
    // Reading the master while nobody holds the slave fails with EIO, and the
    // notifier would then fire without end.
    m_readNotifier.setEnabled(exists() && m_opened);
}

} // namespace pvx::platform
