#include "session/client_options_form.h"

#include "resources/form_strings.h"
#include "session/option_buttons.h"

namespace pvx::session {

namespace {

using core::ControlKind;

using core::controlName;

} // namespace

ClientOptionsForm::ClientOptionsForm(const resources::StringTable &strings, platform::Dialogs &dialogs,
                                     const ClientIoOptions &options, bool udp)
    : ValueForm(controlName("frmClientOptions")),
      directionsFrame(ControlKind::Frame, controlName("Frame1")),
      directionButtons{{{ControlKind::OptionButton, controlName("Option1"), 0},
                        {ControlKind::OptionButton, controlName("Option1"), 1},
                        {ControlKind::OptionButton, controlName("Option1"), 2}}},
      connectOnVirtualOpenBox(ControlKind::CheckBox, controlName("chkConnectOnVirtualPort")),
      rfc2217Box(ControlKind::CheckBox, controlName("chkRfc2217")),
      security(Role::Client, strings, dialogs),
      okButton(ControlKind::Button, controlName("Command1")),
      cancelButton(ControlKind::Button, controlName("Command2")),
      m_loaded(options)
{
    setTag(QStringLiteral("5013"));
    const std::pair<core::Control *, int> tagged[] = {
        {&directionsFrame, 5014},
        {&directionButtons[0], 5015},
        {&directionButtons[1], 5016},
        {&directionButtons[2], 5017},
        {&connectOnVirtualOpenBox, 5018},
        {&rfc2217Box, 5140},
        {&okButton, 1207},
        {&cancelButton, 1208},
    };
    for (const auto &[control, id] : tagged) {
        control->setTag(QString::number(id));
        addControl(*control);
    }
    for (core::Control *control : security.controls())
        addControl(*control);
    groupOptionButtons(directionButtons);
    okButton.onClick = [this] { onOkClicked(); };
    cancelButton.onClick = [this] { onCancelClicked(); };

    resources::applyFormStrings(*this, strings);
    selectOptionButton(directionButtons, options.ClientOptions);
    connectOnVirtualOpenBox.setValue(options.ConnectOnVirtualOpen);
    rfc2217Box.setValue(options.Rfc2217 == 1 ? 1 : 0);
    security.load(options.Security, udp);
}

void ClientOptionsForm::onOkClicked()
{
    auto edited = security.edited();
    if (!edited)
        return;
    accept({selectedOptionButton(directionButtons, m_loaded.ClientOptions),
            static_cast<qint16>(connectOnVirtualOpenBox.value()), static_cast<qint16>(rfc2217Box.value()),
            std::move(*edited)});
}

} // namespace pvx::session
