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

/// What the server I/O options dialog edits (see SessionOptions).
struct ServerIoOptions {
    qint16 AllowMultiConnect = 1;
    qint16 ServerSerialOptions = 0;
    qint16 ServerTCPOptions = 0;
    qint16 Rfc2217 = 0;
    SecurityOptions Security{};

    bool operator==(const ServerIoOptions &) const = default;
};

/// "Server I/O Options" (frmServerOptions). OK gives back the edited
/// options; Esc is Cancel.
class ServerOptionsForm : public core::ValueForm<ServerIoOptions> {
    Q_OBJECT
public:
    /// Loads the window: texts from `strings`, the box ticked when
    /// multiple clients are allowed (1), the buttons of both stored choices
    /// selected (none for a value outside 0..2), the security controls
    /// filled (their TLS group disabled when the session runs over `udp`).
    /// `strings` and `dialogs` must outlive the form.
    ServerOptionsForm(const resources::StringTable &strings, platform::Dialogs &dialogs,
                      const ServerIoOptions &options, bool udp = false);

    core::Control multipleClientsBox;
    core::Control networkDataFrame;
    /// One button per ServerTcp choice, in its order: the index is the stored value.
    std::array<core::Control, 3> networkDataButtons;
    core::Control serialDataFrame;
    /// One button per ServerSerial choice, in its order: the index is the stored value.
    std::array<core::Control, 3> serialDataButtons;
    core::Control rfc2217Box;
    SecurityOptionControls security;
    core::Control okButton;
    core::Control cancelButton;

    /// OK: the box's value, the selected buttons' indices (a row with no
    /// button selected keeps its stored value) and the security settings;
    /// a bad AllowFrom list is reported and the dialog stays open.
    void onOkClicked();
    /// Cancel: closes the dialog; nothing comes back.
    void onCancelClicked() { unload(); }
    void cancel() override { onCancelClicked(); }

private:
    ServerIoOptions m_loaded;
};

} // namespace pvx::session
