#include "session/side_status.h"

#include "core/control.h"
#include "resources/string_table.h"

namespace pvx::session {

SideStatus::SideStatus(const resources::StringTable &strings, resources::StringId label, const core::Control &line,
                       Show show)
    : m_strings(strings), m_label(label), m_line(line), m_show(std::move(show))
{
}

QString SideStatus::labelled(const QString &word) const
{
    return text(m_label) + QLatin1Char(' ') + word;
}

QString SideStatus::caption() const
{
    return m_line.caption();
}

QString SideStatus::text(resources::StringId id) const
{
    return m_strings.text(id);
}

} // namespace pvx::session
