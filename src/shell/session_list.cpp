#include "shell/session_list.h"

#include "resources/string_table.h"

#include <algorithm>

namespace pvx::shell {

SessionList::SessionList(session::SessionServices services, DeviceFactory devices)
    : m_services(services), m_devices(std::move(devices))
{
}

SessionList::~SessionList() = default;

session::Session &SessionList::create()
{
    auto session = std::make_unique<session::Session>(m_services, m_devices());
    auto &window = session->window();
    window.setCaption(window.titleFor(m_services.window.strings.text(resources::StringId::NewSessionName)));
    m_sessions.push_back(std::move(session));
    emit created(*m_sessions.back());
    return *m_sessions.back();
}

void SessionList::close(session::Session &session)
{
    const auto found = std::find_if(m_sessions.begin(), m_sessions.end(),
                                    [&session](const auto &held) { return held.get() == &session; });
    if (found == m_sessions.end())
        return;
    emit closing(session);
    // Taken out of the list before it dies, so nothing reaches it meanwhile.
    std::unique_ptr<session::Session> doomed = std::move(*found);
    m_sessions.erase(found);
}

void SessionList::closeAll()
{
    while (!m_sessions.empty())
        close(*m_sessions.back());
}

} // namespace pvx::shell
