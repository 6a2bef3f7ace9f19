#pragma once

#include "core/control.h"
#include "core/modal_form.h"
#include "session/security_option_controls.h"

#include <QtGlobal>

#include <array>

namespace pvx::platform {
class Dialogs;
}

namespace pvx::resources {
class StringTable;
}

namespace pvx::session {

/// What the client I/O options dialog edits (see SessionOptions).
struct ClientIoOptions {
    qint16 ClientOptions = 0;
    qint16 ConnectOnVirtualOpen = 0;
    qint16 Rfc2217 = 0;
    SecurityOptions Security{};

    bool operator==(const ClientIoOptions &) const = default;
};

/// "Client I/O Options" (frmClientOptions). OK gives back the edited
/// options; Esc confirms like OK.
class ClientOptionsForm : public core::ValueForm<ClientIoOptions> {
    Q_OBJECT
public:
    /// Loads the window: texts from `strings`, the stored choice selected
    /// (none for a value outside 0..2), the box holding the stored flag, the
    /// security controls filled (over `udp` the TLS group disabled and the
    /// AllowFrom list shown). `strings` and `dialogs` must outlive the form.
    ClientOptionsForm(const resources::StringTable &strings, platform::Dialogs &dialogs,
                      const ClientIoOptions &options, bool udp = false);

    core::Control directionsFrame;
    /// One button per ClientIo choice, in its order: the index is the stored value.
    std::array<core::Control, 3> directionButtons;
    core::Control connectOnVirtualOpenBox;
    core::Control rfc2217Box;
    SecurityOptionControls security;
    core::Control okButton;
    core::Control cancelButton;

    /// OK: the selected button's index (the stored value when none is
    /// selected), the boxes' values and the security settings; a bad
    /// AllowFrom list is reported and the dialog stays open.
    void onOkClicked();
    /// Cancel: closes the dialog; nothing comes back.
    void onCancelClicked() { unload(); }
    void cancel() override { onCancelClicked(); }
    void escapePressed() override { onOkClicked(); }

private:
    ClientIoOptions m_loaded;
};

} // namespace pvx::session
