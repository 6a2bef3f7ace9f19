#include "session/server_options_form.h"

#include "resources/form_strings.h"
#include "session/option_buttons.h"

namespace pvx::session {

namespace {

using core::ControlKind;

using core::controlName;

} // namespace

ServerOptionsForm::ServerOptionsForm(const resources::StringTable &strings, platform::Dialogs &dialogs,
                                     const ServerIoOptions &options, bool udp)
    : ValueForm(controlName("frmServerOptions")),
      multipleClientsBox(ControlKind::CheckBox, controlName("chkMultiClients")),
      networkDataFrame(ControlKind::Frame, controlName("Frame1")),
      networkDataButtons{{{ControlKind::OptionButton, controlName("OptionTCP"), 0},
                          {ControlKind::OptionButton, controlName("OptionTCP"), 1},
                          {ControlKind::OptionButton, controlName("OptionTCP"), 2}}},
      serialDataFrame(ControlKind::Frame, controlName("Frame2")),
      serialDataButtons{{{ControlKind::OptionButton, controlName("OptionSerial"), 0},
                         {ControlKind::OptionButton, controlName("OptionSerial"), 1},
                         {ControlKind::OptionButton, controlName("OptionSerial"), 2}}},
      rfc2217Box(ControlKind::CheckBox, controlName("chkRfc2217")),
      security(Role::Server, strings, dialogs),
      okButton(ControlKind::Button, controlName("Command1")),
      cancelButton(ControlKind::Button, controlName("Command2")),
      m_loaded(options)
{
    setTag(QStringLiteral("5019"));
    const std::pair<core::Control *, int> tagged[] = {
        {&multipleClientsBox, 5020},
        {&networkDataFrame, 5021},
        {&networkDataButtons[0], 5022},
        {&networkDataButtons[1], 5023},
        {&networkDataButtons[2], 5024},
        {&serialDataFrame, 5025},
        {&serialDataButtons[0], 5026},
        {&serialDataButtons[1], 5027},
        {&serialDataButtons[2], 5028},
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
    groupOptionButtons(networkDataButtons);
    groupOptionButtons(serialDataButtons);
    okButton.onClick = [this] { onOkClicked(); };
    cancelButton.onClick = [this] { onCancelClicked(); };

    resources::applyFormStrings(*this, strings);
    multipleClientsBox.setValue(options.AllowMultiConnect == 1 ? 1 : 0);
    selectOptionButton(serialDataButtons, options.ServerSerialOptions);
    selectOptionButton(networkDataButtons, options.ServerTCPOptions);
    rfc2217Box.setValue(options.Rfc2217 == 1 ? 1 : 0);
    security.load(options.Security, udp);
}

void ServerOptionsForm::onOkClicked()
{
    auto edited = security.edited();
    if (!edited)
        return;
    accept({static_cast<qint16>(multipleClientsBox.value()),
            selectedOptionButton(serialDataButtons, m_loaded.ServerSerialOptions),
            selectedOptionButton(networkDataButtons, m_loaded.ServerTCPOptions),
            static_cast<qint16>(rfc2217Box.value()), std::move(*edited)});
}

} // namespace pvx::session
