#include "session/client_links.h"

#include "session/flow_limits.h"

#include <algorithm>

namespace pvx::session {

ClientLinks::ClientLinks(platform::SocketFactory &factory, EventsFor eventsFor)
    : m_factory(factory), m_eventsFor(std::move(eventsFor))
{
    load();
}

int ClientLinks::load()
{
    m_links.push_back(Link{m_factory.create()});
    const int index = maxSocketIndex();
    socket(index).setEvents(m_eventsFor(index));
    return index;
}

int ClientLinks::freeClientSocket()
{
    for (int i = 1; i <= maxSocketIndex(); ++i) {
        if (socket(i).state() == platform::kSocketClosed)
            return i;
    }
    return load();
}

void ClientLinks::countClient(int index)
{
    forget(index);
    link(index).counted = true;
    ++m_clientCount;
}

bool ClientLinks::leaveClientCount(int index)
{
    Link &element = link(index);
    if (!element.counted)
        return false;
    element.counted = false;
    m_clientCount = std::max(m_clientCount - 1, 0);
    return true;
}

void ClientLinks::closeAll()
{
    for (Link &element : m_links) {
        element.socket->close();
        element.socket->setLocalPort(0);
        element.counted = false;
    }
    m_clientCount = 0;
}

bool ClientLinks::isConnected(int index) const
{
    return socket(index).state() == platform::kSocketConnected && !link(index).draining;
}

bool ClientLinks::anyDraining() const
{
    return std::any_of(m_links.begin(), m_links.end(), [](const Link &element) { return element.draining; });
}

bool ClientLinks::anyConnected() const
{
    for (int i = 0; i <= maxSocketIndex(); ++i) {
        if (isConnected(i))
            return true;
    }
    return false;
}

int ClientLinks::firstConnectedClient() const
{
    for (int i = 1; i <= maxSocketIndex(); ++i) {
        if (isConnected(i))
            return i;
    }
    return maxSocketIndex() + 1;
}

std::vector<int> ClientLinks::connectedSockets(bool firstOnly) const
{
    std::vector<int> connected;
    for (int i = 0; i <= maxSocketIndex(); ++i) {
        if (!isConnected(i))
            continue;
        connected.push_back(i);
        if (firstOnly)
            break;
    }
    return connected;
}

void ClientLinks::forget(int index)
{
    Link &element = link(index);
    element.counted = false;
    element.holdingBack = false;
    element.stallTicks = 0;
    element.draining = false;
    element.wasFirstClient = false;
    element.drainTicks = 0;
    element.lineControl.reset();
    ++element.connection;
}

RemoteLineControl &ClientLinks::setLineControl(int index, std::unique_ptr<RemoteLineControl> stage)
{
    link(index).lineControl = std::move(stage);
    return *link(index).lineControl;
}

void ClientLinks::tickLineControls()
{
    for (const Link &element : m_links) {
        if (element.lineControl)
            element.lineControl->tick();
    }
}

bool ClientLinks::lineControlPending() const
{
    return std::any_of(m_links.begin(), m_links.end(),
                       [](const Link &element) { return element.lineControl && element.lineControl->pending(); });
}

void ClientLinks::forgetAll()
{
    for (int i = 0; i <= maxSocketIndex(); ++i)
        forget(i);
}

qint64 ClientLinks::sendRoom(const std::vector<int> &destinations, qint64 wanted, qint64 bound)
{
    qint64 room = wanted;
    for (const int index : destinations) {
        const qint64 queued = socket(index).bytesToWrite();
        link(index).holdingBack = queued + wanted > bound;
        room = std::min(room, bound - queued);
    }
    return std::max<qint64>(room, 0);
}

void ClientLinks::tookData(int index)
{
    link(index).stallTicks = 0;
}

bool ClientLinks::owesTooMuch(int index) const
{
    return socket(index).bytesToWrite() > kOwedReadBound;
}

bool ClientLinks::startDraining(int index)
{
    Link &element = link(index);
    if (element.draining)
        return false;
    element.wasFirstClient = firstConnectedClient() >= index;
    element.draining = true;
    element.drainTicks = 0;
    element.holdingBack = false;
    element.stallTicks = 0;
    return true;
}

bool ClientLinks::isFirstClient(int index) const
{
    const Link &element = link(index);
    return element.draining ? element.wasFirstClient : index == firstConnectedClient();
}

ClientLinks::Stall ClientLinks::countStall(int index, bool serialDataQueued, int limitTicks)
{
    Link &element = link(index);
    // Nothing is held back by a client that is gone or when nothing waits.
    if (element.holdingBack && (!isConnected(index) || !serialDataQueued)) {
        element.holdingBack = false;
        element.stallTicks = 0;
    }
    const bool stuck = element.holdingBack || (isConnected(index) && owesTooMuch(index));
    if (stuck && ++element.stallTicks >= limitTicks)
        return Stall::TakesNothing;
    if (element.draining && ++element.drainTicks >= limitTicks)
        return Stall::DrainStuck;
    return Stall::None;
}

} // namespace pvx::session
