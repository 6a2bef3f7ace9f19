#include "session/server_options_form.h"

#include "resources/form_strings.h"
#include "session/option_buttons.h"

namespace pvx::session {

namespace {

using core::ControlKind;

using core::controlName;

} // namespace

ServerOptionsForm::ServerOptionsForm(const resources::StringTable &strings, const ServerIoOptions &options)
    : ValueForm(controlName("frmServerOptions")),
      chkMultiClients(ControlKind::CheckBox, controlName("chkMultiClients")),
      Frame1(ControlKind::Frame, controlName("Frame1")),
      OptionTCP{{{ControlKind::OptionButton, controlName("OptionTCP"), 0},
                 {ControlKind::OptionButton, controlName("OptionTCP"), 1},
                 {ControlKind::OptionButton, controlName("OptionTCP"), 2}}},
      Frame2(ControlKind::Frame, controlName("Frame2")),
      OptionSerial{{{ControlKind::OptionButton, controlName("OptionSerial"), 0},
                    {ControlKind::OptionButton, controlName("OptionSerial"), 1},
                    {ControlKind::OptionButton, controlName("OptionSerial"), 2}}},
      chkRfc2217(ControlKind::CheckBox, controlName("chkRfc2217")),
      Command1(ControlKind::Button, controlName("Command1")),
      Command2(ControlKind::Button, controlName("Command2")),
      m_loaded(options)
{
    setTag(QStringLiteral("5019"));
    const std::pair<core::Control *, int> tagged[] = {
        {&chkMultiClients, 5020}, {&Frame1, 5021},       {&OptionTCP[0], 5022},    {&OptionTCP[1], 5023},
        {&OptionTCP[2], 5024},    {&Frame2, 5025},       {&OptionSerial[0], 5026}, {&OptionSerial[1], 5027},
        {&OptionSerial[2], 5028}, {&chkRfc2217, 5140},   {&Command1, 1207},
        {&Command2, 1208},
    };
    for (const auto &[control, id] : tagged) {
        control->setTag(QString::number(id));
        addControl(*control);
    }
    groupOptionButtons(OptionTCP);
    groupOptionButtons(OptionSerial);
    Command1.onClick = [this] { onOkClicked(); };
    Command2.onClick = [this] { onCancelClicked(); };

    resources::applyFormStrings(*this, strings);
    chkMultiClients.setValue(options.AllowMultiConnect == 1 ? 1 : 0);
    selectOptionButton(OptionSerial, options.ServerSerialOptions);
    selectOptionButton(OptionTCP, options.ServerTCPOptions);
    chkRfc2217.setValue(options.Rfc2217 == 1 ? 1 : 0);
}

void ServerOptionsForm::onOkClicked()
{
    accept({static_cast<qint16>(chkMultiClients.value()),
            selectedOptionButton(OptionSerial, m_loaded.ServerSerialOptions),
            selectedOptionButton(OptionTCP, m_loaded.ServerTCPOptions),
            static_cast<qint16>(chkRfc2217.value())});
}

} // namespace pvx::session
