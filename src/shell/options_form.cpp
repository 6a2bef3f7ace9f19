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
      Label2(ControlKind::Label, controlName("Label2")),
      Combo1(ControlKind::ComboBox, controlName("Combo1")),
      Check1(ControlKind::CheckBox, controlName("Check1")),
      Frame1(ControlKind::Frame, controlName("Frame1")),
      Label1(ControlKind::Label, controlName("Label1")),
      Text1(ControlKind::TextBox, controlName("Text1")),
      Command1(ControlKind::Button, controlName("Command1")),
      Frame2(ControlKind::Frame, controlName("Frame2")),
      Check2(ControlKind::CheckBox, controlName("Check2")),
      Label3(ControlKind::Label, controlName("Label3")),
      Combo2(ControlKind::ComboBox, controlName("Combo2")),
      Label4(ControlKind::Label, controlName("Label4")),
      Combo3(ControlKind::ComboBox, controlName("Combo3")),
      chkLoadWithWindows(ControlKind::CheckBox, controlName("chkLoadWithWindows")),
      Command2(ControlKind::Button, controlName("Command2")),
      Command3(ControlKind::Button, controlName("Command3")),
      m_dialogs(dialogs),
      m_settings(settings)
{
    setTag(QStringLiteral("5029"));
    const std::pair<core::Control *, int> tagged[] = {
        {&Label2, 5030}, {&Check1, 5032},   {&Frame1, 5033}, {&Label1, 5034},
        {&Command1, 5035}, {&Frame2, 5036}, {&Check2, 5037}, {&Label3, 5038},
        {&Label4, 5039}, {&chkLoadWithWindows, 5031}, {&Command2, 1207}, {&Command3, 1208},
    };
    for (const auto &[control, id] : tagged)
        control->setTag(QString::number(id));
    for (core::Control *control : {&Label2, &Combo1, &Check1, &Frame1, &Label1, &Text1, &Command1, &Frame2, &Check2,
                                   &Label3, &Combo2, &Label4, &Combo3, &chkLoadWithWindows, &Command2, &Command3})
        addControl(*control);
    Command1.onClick = [this] { onBrowseClicked(); };
    Command2.onClick = [this] { onOkClicked(); };
    Command3.onClick = [this] { onCancelClicked(); };

    resources::applyFormStrings(*this, strings);
    Text1.setText(settings.OnErrorRunApp);
    Check1.setValue(settings.LogErrors != 0 ? 1 : 0);
    Combo1.setItems(packetSizeList());
    Combo1.setText(QString::number(settings.PacketSize));
    Combo2.setItems(pingFrequencyList());
    selectOrDefault(Combo2, settings.PingFrequency, kDefaultPingFrequency);
    Combo3.setItems(pingTimeoutList());
    selectOrDefault(Combo3, settings.PingTimeout, kDefaultPingTimeout);
    Check2.setValue(settings.PingEnabled != 0 ? 1 : 0);
    chkLoadWithWindows.setValue(settings.LoadWithWindows != 0 ? 1 : 0);
}

void OptionsForm::onBrowseClicked()
{
    platform::FileDialogOptions options;
    options.filter = QStringLiteral("Programs (*.EXE)|*.EXE|All Files (*.*)|*.*");
    const QString program = m_dialogs.openFileName(options);
    if (!program.isEmpty())
        Text1.setText(program);
}

void OptionsForm::onOkClicked()
{
    session::ProgramSettings edited = m_settings;
    edited.OnErrorRunApp = Text1.text();
    edited.LogErrors = Check1.value();
    edited.PacketSize = packetSizeFromText(Combo1.text());
    edited.PingEnabled = Check2.value();
    edited.PingFrequency = Combo2.selectedIndex();
    edited.PingTimeout = Combo3.selectedIndex();
    edited.LoadWithWindows = chkLoadWithWindows.value();
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
