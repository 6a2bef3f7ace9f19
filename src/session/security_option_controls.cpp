#include "session/security_option_controls.h"

#include "platform/dialogs.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"
#include "session/address_filter.h"

namespace pvx::session {

namespace {

using core::ControlKind;
using core::controlName;
using resources::StringId;

// The client's choices: the first checks the server, the second does not.
constexpr int kClientChecks = 0;
constexpr int kClientDoesNotCheck = 1;

} // namespace

SecurityOptionControls::SecurityOptionControls(Role role, const resources::StringTable &strings,
                                               platform::Dialogs &dialogs)
    : frame(ControlKind::Frame, controlName("fraTls")),
      enabledBox(ControlKind::CheckBox, controlName("chkTls")),
      certificateLabel(ControlKind::Label, controlName("lblTlsCertificate")),
      certificate(ControlKind::TextBox, controlName("txtTlsCertificate")),
      certificateBrowse(ControlKind::Button, controlName("btnTlsCertificate")),
      keyLabel(ControlKind::Label, controlName("lblTlsKey")),
      key(ControlKind::TextBox, controlName("txtTlsKey")),
      keyBrowse(ControlKind::Button, controlName("btnTlsKey")),
      trustLabel(ControlKind::Label, controlName("lblTlsTrust")),
      trust(ControlKind::TextBox, controlName("txtTlsTrust")),
      trustBrowse(ControlKind::Button, controlName("btnTlsTrust")),
      peerCheckLabel(ControlKind::Label, controlName("lblTlsVerifyPeer")),
      peerCheck(ControlKind::ComboBox, controlName("cboTlsVerifyPeer")),
      allowFromLabel(ControlKind::Label, controlName("lblAllowFrom")),
      allowFrom(ControlKind::TextBox, controlName("txtAllowFrom")),
      m_role(role),
      m_strings(strings),
      m_dialogs(dialogs)
{
    const std::pair<core::Control *, int> tagged[] = {
        {&frame, 5150},
        {&enabledBox, 5151},
        {&certificateLabel, 5152},
        {&keyLabel, 5153},
        {&trustLabel, 5154},
        {&peerCheckLabel, role == Role::Server ? 5155 : 5159},
        {&allowFromLabel, 5162},
    };
    for (const auto &[control, id] : tagged)
        control->setTag(QString::number(id));
    allowFrom.setToolTip(QStringLiteral("5163"));
    for (core::Control *button : {&certificateBrowse, &keyBrowse, &trustBrowse})
        button->setCaption(QStringLiteral("..."));
    enabledBox.onClick = [this] { followEnabledBox(); };
    certificateBrowse.onClick = [this] { browse(certificate, certificateLabel); };
    keyBrowse.onClick = [this] { browse(key, keyLabel); };
    trustBrowse.onClick = [this] { browse(trust, trustLabel); };
}

std::vector<core::Control *> SecurityOptionControls::controls()
{
    return {&frame,      &enabledBox,  &certificateLabel, &certificate,    &certificateBrowse,
            &keyLabel,   &key,         &keyBrowse,        &trustLabel,     &trust,
            &trustBrowse, &peerCheckLabel, &peerCheck,    &allowFromLabel, &allowFrom};
}

void SecurityOptionControls::load(const SecurityOptions &options, bool udp)
{
    m_loaded = options;
    if (m_role == Role::Server)
        peerCheck.setItems({m_strings.text(5156), m_strings.text(5157), m_strings.text(5158)});
    else
        peerCheck.setItems({m_strings.text(5160), m_strings.text(5161)});
    peerCheck.select(peerCheckIndex(options.TlsVerifyPeer));
    certificate.setText(options.TlsCertificate);
    key.setText(options.TlsKey);
    trust.setText(options.TlsTrust);
    enabledBox.setValue(options.Tls == 1 ? 1 : 0);
    // TLS rides on TCP connections; a TCP client chooses its peer itself.
    frame.setEnabled(!udp);
    const bool filters = udp || m_role == Role::Server;
    allowFromLabel.setVisible(filters);
    allowFrom.setVisible(filters);
    allowFrom.setText(options.AllowFrom);
    followEnabledBox();
}

std::optional<SecurityOptions> SecurityOptionControls::edited() const
{
    // A hidden list is not the user's doing here; activation still checks it.
    if (const auto parsed = AddressFilter::parse(allowFrom.text()); !parsed && allowFrom.isVisible()) {
        m_dialogs.messageBox(m_strings.text(StringId::AllowFromInvalid).arg(parsed.error().detail),
                             m_strings.text(StringId::Error), platform::MessageButtons::Ok,
                             platform::MessageIcon::Critical);
        return std::nullopt;
    }
    return SecurityOptions{static_cast<qint16>(enabledBox.value()), certificate.text(), key.text(), trust.text(),
                           storedPeerCheck(peerCheck.selectedIndex()), allowFrom.text()};
}

void SecurityOptionControls::followEnabledBox()
{
    enabledBox.setEnabled(frame.isEnabled());
    const bool on = enabledBox.value() != 0 && frame.isEnabled();
    for (core::Control *control : {&certificateLabel, &certificate, &certificateBrowse, &keyLabel, &key, &keyBrowse,
                                   &trustLabel, &trust, &trustBrowse, &peerCheckLabel, &peerCheck})
        control->setEnabled(on);
}

void SecurityOptionControls::browse(core::Control &field, const core::Control &label)
{
    platform::FileDialogOptions options;
    options.title = label.caption();
    if (options.title.endsWith(QLatin1Char(':')))
        options.title.chop(1);
    options.filter = QStringLiteral("PEM Files (*.pem;*.crt;*.key)|*.pem;*.crt;*.key|All Files (*.*)|*.*");
    options.initialPath = field.text();
    const QString chosen = m_dialogs.openFileName(options);
    if (!chosen.isEmpty())
        field.setText(chosen);
}

int SecurityOptionControls::peerCheckIndex(qint16 stored) const
{
    if (m_role == Role::Client)
        return stored == 0 ? kClientDoesNotCheck : kClientChecks;
    return stored >= 0 && stored < 3 ? stored : -1;
}

qint16 SecurityOptionControls::storedPeerCheck(int index) const
{
    if (m_role == Role::Client) {
        if (index == kClientDoesNotCheck)
            return 0;
        return m_loaded.TlsVerifyPeer != 0 ? m_loaded.TlsVerifyPeer : 1;
    }
    return index >= 0 ? static_cast<qint16>(index) : m_loaded.TlsVerifyPeer;
}

} // namespace pvx::session
