#include "shell/options_form.h"

#include "core/numeric_text.h"
#include "platform/dialogs.h"
#include "resources/form_strings.h"
#include "session/program_settings.h"

namespace pvx::shell {

namespace {

using core::ControlKind;

constexpr int kMinPacketSize = 1;
constexpr int kMaxPacketSize = 10000;
constexpr int kDefaultPacketSize = 2000;
constexpr int kDefaultPingFrequency = 3;
constexpr int kDefaultPingTimeout = 9;
constexpr int kPingFrequencies = 14;
constexpr int kPingTimeouts = 20;
constexpr int kPingTimeoutStepMs = 100;

using core::controlName;

void selectOrDefault(core::Control &list, int position, int defaultPosition)
{
    if (!list.select(position))
        (void)list.select(defaultPosition);
}

} // namespace

OptionsForm::OptionsForm(const resources::StringTable &strings, platform::Dialogs &dialogs,
                         const session::ProgramSettings &settings)
    : ValueForm(controlName("frmOptions")),
      packetSizeLabel(ControlKind::Label, controlName("Label2")),
      packetSize(ControlKind::ComboBox, controlName("Combo1")),
      logErrorsBox(ControlKind::CheckBox, controlName("Check1")),
      errorProgramFrame(ControlKind::Frame, controlName("Frame1")),
      errorProgramLabel(ControlKind::Label, controlName("Label1")),
      errorProgram(ControlKind::TextBox, controlName("Text1")),
      browseButton(ControlKind::Button, controlName("Command1")),
      pingFrame(ControlKind::Frame, controlName("Frame2")),
      pingEnabledBox(ControlKind::CheckBox, controlName("Check2")),
      pingFrequencyLabel(ControlKind::Label, controlName("Label3")),
      pingFrequency(ControlKind::ComboBox, controlName("Combo2")),
      pingTimeoutLabel(ControlKind::Label, controlName("Label4")),
      pingTimeout(ControlKind::ComboBox, controlName("Combo3")),
      startWithLoginBox(ControlKind::CheckBox, controlName("chkLoadWithWindows")),
      okButton(ControlKind::Button, controlName("Command2")),
      cancelButton(ControlKind::Button, controlName("Command3")),
      m_dialogs(dialogs),
      m_settings(settings)
{
    setTag(QStringLiteral("5029"));
    const std::pair<core::Control *, int> tagged[] = {
        {&packetSizeLabel, 5030},  {&logErrorsBox, 5032},      {&errorProgramFrame, 5033}, {&errorProgramLabel, 5034},
        {&browseButton, 5035},     {&pingFrame, 5036},         {&pingEnabledBox, 5037},    {&pingFrequencyLabel, 5038},
        {&pingTimeoutLabel, 5039}, {&startWithLoginBox, 5031}, {&okButton, 1207},          {&cancelButton, 1208},
    };
    for (const auto &[control, id] : tagged)
        control->setTag(QString::number(id));
    for (core::Control *control :
         {&packetSizeLabel, &packetSize, &logErrorsBox, &errorProgramFrame, &errorProgramLabel, &errorProgram,
          &browseButton, &pingFrame, &pingEnabledBox, &pingFrequencyLabel, &pingFrequency, &pingTimeoutLabel,
          &pingTimeout, &startWithLoginBox, &okButton, &cancelButton})
        addControl(*control);
    browseButton.onClick = [this] { onBrowseClicked(); };
    okButton.onClick = [this] { onOkClicked(); };
    cancelButton.onClick = [this] { onCancelClicked(); };

    resources::applyFormStrings(*this, strings);
    errorProgram.setText(settings.OnErrorRunApp);
    logErrorsBox.setValue(settings.LogErrors != 0 ? 1 : 0);
    packetSize.setItems(packetSizeList());
    packetSize.setText(QString::number(settings.PacketSize));
    pingFrequency.setItems(pingFrequencyList());
    selectOrDefault(pingFrequency, settings.PingFrequency, kDefaultPingFrequency);
    pingTimeout.setItems(pingTimeoutList());
    selectOrDefault(pingTimeout, settings.PingTimeout, kDefaultPingTimeout);
    pingEnabledBox.setValue(settings.PingEnabled != 0 ? 1 : 0);
    startWithLoginBox.setValue(settings.LoadWithWindows != 0 ? 1 : 0);
}

void OptionsForm::onBrowseClicked()
{
    platform::FileDialogOptions options;
    options.filter = QStringLiteral("Programs (*.EXE)|*.EXE|All Files (*.*)|*.*");
    const QString program = m_dialogs.openFileName(options);
    if (!program.isEmpty())
        errorProgram.setText(program);
}

void OptionsForm::onOkClicked()
{
    session::ProgramSettings edited = m_settings;
    edited.OnErrorRunApp = errorProgram.text();
    edited.LogErrors = logErrorsBox.value();
    edited.PacketSize = packetSizeFromText(packetSize.text());
    edited.PingEnabled = pingEnabledBox.value();
    edited.PingFrequency = pingFrequency.selectedIndex();
    edited.PingTimeout = pingTimeout.selectedIndex();
    edited.LoadWithWindows = startWithLoginBox.value();
    accept(std::move(edited));
}

void OptionsForm::onCancelClicked()
{
    unload();
}

int packetSizeFromText(const QString &text)
{
    QString digits = text;
    digits.remove(QLatin1Char(' '));
    digits.remove(QLatin1Char('\t'));
    const int size = core::roundHalfEven(core::numericValue(digits));
    return size < kMinPacketSize || size > kMaxPacketSize ? kDefaultPacketSize : size;
}

QStringList packetSizeList()
{
    return {QStringLiteral("50"),   QStringLiteral("100"),  QStringLiteral("200"), QStringLiteral("500"),
            QStringLiteral("1000"), QStringLiteral("2000"), QStringLiteral("4000")};
}

QStringList pingFrequencyList()
{
    QStringList list{QStringLiteral(".5 Second"), QStringLiteral("1 Second")};
    for (int position = 2; position < kPingFrequencies; ++position)
        list.append(QString::number(5 * (position - 1)) + QStringLiteral(" Seconds"));
    return list;
}

QStringList pingTimeoutList()
{
    QStringList list;
    for (int position = 0; position < kPingTimeouts; ++position)
        list.append(QString::number((position + 1) * kPingTimeoutStepMs) + QStringLiteral(" ms"));
    return list;
}

} // namespace pvx::shell
