#pragma once

#include "core/control.h"
#include "tools/tool_window.h"

namespace pvx::platform {
class Dialogs;
class HostResolver;
}
namespace pvx::resources {
class StringTable;
}

namespace pvx::tools {

/// "Resolve IP Address from Host Name:" (frmResolve): looks one host name
/// up in the background and shows its first IPv4 address. Meanwhile the
/// Resolve button is disabled. The Help button has no action and stays
/// disabled.
class ResolveForm : public ToolWindow {
    Q_OBJECT
public:
    /// Loads the window with its texts from `strings`.
    ResolveForm(const resources::StringTable &strings, platform::Dialogs &dialogs, platform::HostResolver &resolver);
    ~ResolveForm() override;

    core::Control hostNameLabel;
    core::Control hostName;
    core::Control addressLabel;
    core::Control address;
    core::Control resolveButton;
    core::Control helpButton;
    core::Control cancelButton;

    /// Resolve: the address goes into its field; a name that does not
    /// resolve is reported and the field keeps what it showed. An empty
    /// name looks up this computer.
    void onResolveClicked();
    /// Cancel: closes the window.
    void onCancelClicked() { unload(); }

protected:
    void dropPending() override;

private:
    void resolved(const QString &name, const QString &found);

    const resources::StringTable &m_strings;
    platform::Dialogs &m_dialogs;
    platform::HostResolver &m_resolver;
    int m_lookup = 0;
};

} // namespace pvx::tools
