#include "session/client_options_form.h"

#include "resources/form_strings.h"
#include "session/option_buttons.h"

namespace pvx::session {

namespace {

using core::ControlKind;

using core::controlName;

} // namespace

ClientOptionsForm::ClientOptionsForm(const resources::StringTable &strings, const ClientIoOptions &options)
    : ValueForm(controlName("frmClientOptions")),
      Frame1(ControlKind::Frame, controlName("Frame1")),
      Option1{{{ControlKind::OptionButton, controlName("Option1"), 0},
               {ControlKind::OptionButton, controlName("Option1"), 1},
               {ControlKind::OptionButton, controlName("Option1"), 2}}},
      chkConnectOnVirtualPort(ControlKind::CheckBox, controlName("chkConnectOnVirtualPort")),
      chkRfc2217(ControlKind::CheckBox, controlName("chkRfc2217")),
      Command1(ControlKind::Button, controlName("Command1")),
      Command2(ControlKind::Button, controlName("Command2")),
      m_loaded(options)
{
    setTag(QStringLiteral("5013"));
    const std::pair<core::Control *, int> tagged[] = {
        {&Frame1, 5014},     {&Option1[0], 5015}, {&Option1[1], 5016}, {&Option1[2], 5017},
        {&chkConnectOnVirtualPort, 5018}, {&chkRfc2217, 5140}, {&Command1, 1207}, {&Command2, 1208},
    };
    for (const auto &[control, id] : tagged) {
        control->setTag(QString::number(id));
        addControl(*control);
    }
    groupOptionButtons(Option1);
    Command1.onClick = [this] { onOkClicked(); };
    Command2.onClick = [this] { onCancelClicked(); };

    resources::applyFormStrings(*this, strings);
    selectOptionButton(Option1, options.ClientOptions);
    chkConnectOnVirtualPort.setValue(options.ConnectOnVirtualOpen);
    chkRfc2217.setValue(options.Rfc2217 == 1 ? 1 : 0);
}

void ClientOptionsForm::onOkClicked()
{
    accept({selectedOptionButton(Option1, m_loaded.ClientOptions),
            static_cast<qint16>(chkConnectOnVirtualPort.value()), static_cast<qint16>(chkRfc2217.value())});
}

} // namespace pvx::session
