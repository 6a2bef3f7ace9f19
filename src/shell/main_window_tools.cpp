// The Tools menu: the ping and resolver windows.
#include "shell/main_window.h"

#include "tools/ping_form.h"
#include "tools/resolve_form.h"

namespace pvx::shell {

void MainWindow::onPingToolClicked()
{
    if (!m_services.forms.ping)
        return;
    tools::PingForm form(m_services.strings, m_services.dialogs, m_services.resolver, m_services.echo,
                         m_services.settings.PingTimeout);
    m_services.forms.ping(form);
}

void MainWindow::onResolveToolClicked()
{
    if (!m_services.forms.resolve)
        return;
    tools::ResolveForm form(m_services.strings, m_services.dialogs, m_services.resolver);
    m_services.forms.resolve(form);
}

} // namespace pvx::shell
