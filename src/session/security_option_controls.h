#pragma once

#include "core/control.h"
#include "session/session_choices.h"

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace pvx::platform {
class Dialogs;
}

namespace pvx::resources {
class StringTable;
}

namespace pvx::session {

/// Who may reach a session and how its TCP connections are protected, as
/// the I/O options dialogs edit them (see SessionOptions).
struct SecurityOptions {
    qint16 Tls = 0;
    QString TlsCertificate;
    QString TlsKey;
    QString TlsTrust;
    qint16 TlsVerifyPeer = 1;
    QString AllowFrom;

    bool operator==(const SecurityOptions &) const = default;
};

/// The security part of the server and client I/O options dialogs: a TLS
/// group (a box that turns TLS on, three file fields with a browse button
/// each, the peer-check choice) and the AllowFrom list. The TLS fields are
/// disabled while TLS is off, and the whole group while the session runs
/// over UDP. The AllowFrom list shows where it acts: on a server, and on a
/// client over UDP.
class SecurityOptionControls {
public:
    /// `role` picks the peer-check choices: a server's three (no client
    /// certificate, checked if given, required, in stored-value order) or a
    /// client's two (checked, not checked). `strings` gives the texts that
    /// are not captions; `dialogs` shows the browse buttons' file dialogs
    /// and the message about a bad AllowFrom list. Both must outlive the
    /// controls.
    SecurityOptionControls(Role role, const resources::StringTable &strings, platform::Dialogs &dialogs);

    core::Control frame;
    core::Control enabledBox;
    core::Control certificateLabel;
    core::Control certificate;
    core::Control certificateBrowse;
    core::Control keyLabel;
    core::Control key;
    core::Control keyBrowse;
    core::Control trustLabel;
    core::Control trust;
    core::Control trustBrowse;
    core::Control peerCheckLabel;
    core::Control peerCheck;
    core::Control allowFromLabel;
    core::Control allowFrom;

    /// Every control, in tab order, for the form to register.
    std::vector<core::Control *> controls();

    /// Fills the controls once the form's captions are applied: the
    /// peer-check list, the stored values selected (no choice for a server
    /// value outside 0..2), the TLS group disabled when `udp`.
    void load(const SecurityOptions &options, bool udp);
    /// The edited values, or nullopt after telling the user which entry of
    /// the shown AllowFrom list is neither an address nor a range. A peer-check value no
    /// choice stands for, or a client's non-zero value while "checked"
    /// stays chosen, comes back as it was loaded.
    std::optional<SecurityOptions> edited() const;

private:
    void followEnabledBox();
    void browse(core::Control &field, const core::Control &label);
    qint16 storedPeerCheck(int index) const;
    int peerCheckIndex(qint16 stored) const;

    Role m_role;
    const resources::StringTable &m_strings;
    platform::Dialogs &m_dialogs;
    SecurityOptions m_loaded;
};

} // namespace pvx::session
