#include "resources/form_strings.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using pvx::core::Control;
using pvx::core::ControlKind;
using pvx::core::Form;
using pvx::resources::applyFormStrings;
using pvx::resources::Language;
using pvx::resources::StringTable;

namespace {

class TestForm : public Form {
public:
    explicit TestForm(const QString &tag = {}) : Form(QStringLiteral("frmTest"))
    {
        setCaption(QStringLiteral("Design Caption"));
        setTag(tag);
    }

    Control &add(ControlKind kind, const char *tag, const char *caption, const char *toolTip = "")
    {
        auto control = std::make_unique<Control>(kind, QStringLiteral("Control%1").arg(m_owned.size()));
        control->setTag(QString::fromUtf8(tag));
        control->setCaption(QString::fromUtf8(caption));
        control->setToolTip(QString::fromUtf8(toolTip));
        addControl(*control);
        m_owned.push_back(std::move(control));
        return *m_owned.back();
    }

private:
    std::vector<std::unique_ptr<Control>> m_owned;
};

} // namespace

TEST(ApplyFormStrings, LocalisesEachKindOfControl)
{
    const struct {
        const char *what;
        Language language;
        ControlKind kind;
        const char *tag;
        const char *caption;
        const char *toolTip;
        const char *expectedCaption;
        const char *expectedToolTip;
    } cases[] = {
        {"button 1207", Language::English, ControlKind::Button, "1207", "OK", "", "&OK", ""},
        {"button 1207", Language::Japanese, ControlKind::Button, "1207", "OK", "", "&OK", ""},
        {"frame 5036", Language::English, ControlKind::Frame, "5036", "Frame1", "",
         "Ping remote IP Addresses to detect failed connections:", ""},
        {"frame 5036", Language::Japanese, ControlKind::Frame, "5036", "Frame1", "",
         "リモート IP アドレスに ping を送信して切断を検出する:", ""},
        {"menu 2102", Language::English, ControlKind::MenuItem, "", "2102", "", "&File", ""},
        {"menu 2107", Language::Japanese, ControlKind::MenuItem, "", "2107", "", "終了(&x)", ""},
        {"menu separator", Language::English, ControlKind::MenuItem, "", "-", "", "-", ""},
        {"menu without id", Language::Japanese, ControlKind::MenuItem, "", "Popup Menu", "", "Popup Menu", ""},
        {"menu id without text", Language::English, ControlKind::MenuItem, "", "9999", "", "9999", ""},
        {"tag not a number", Language::English, ControlKind::Button, "&System Info...", "&System Info...", "",
         "&System Info...", ""},
        {"tag with trailing words", Language::English, ControlKind::Button, "5049 ping", "x", "", "&Ping", ""},
        {"label 5041", Language::Japanese, ControlKind::Label, "5041", "x", "", "IP アドレス:", ""},
        {"label tag rounds half to even", Language::English, ControlKind::Label, "5042.5", "x", "", "Echo Data:",
         ""},
        {"label tag 0", Language::English, ControlKind::Label, "0", "x", "", "x", ""},
        {"label id without text", Language::English, ControlKind::Label, "9999", "x", "", "x", ""},
        {"label ignores its tooltip", Language::English, ControlKind::Label, "", "x", "5122", "x", "5122"},
        {"check box 5020", Language::English, ControlKind::CheckBox, "5020", "x", "",
         "Allow multiple client connections", ""},
        {"option button 5022", Language::Japanese, ControlKind::OptionButton, "5022", "x", "",
         "すべてのクライアントから受信した TCP/IP データをシリアル ポートへ送信する", ""},
        {"status line 5090", Language::English, ControlKind::StatusLine, "5090", "", "", "COM Status:", ""},
        {"text box without id", Language::English, ControlKind::TextBox, "", "", "", "", ""},
        {"text box tooltip id", Language::English, ControlKind::TextBox, "", "", "5122", "",
         "Enter the IP Address of the computer that you want to ping."},
        {"tooltip with words", Language::English, ControlKind::Button, "", "x", "5122 items", "x", "5122 items"},
        {"tooltip id without text", Language::English, ControlKind::Button, "", "x", "9999", "x", "9999"},
        {"tooltip zero", Language::English, ControlKind::Button, "", "x", "0", "x", "0"},
    };
    for (const auto &c : cases) {
        TestForm form;
        Control &control = form.add(c.kind, c.tag, c.caption, c.toolTip);
        applyFormStrings(form, StringTable(c.language));
        const auto where = testing::Message() << c.what << (c.language == Language::Japanese ? " (ja)" : " (en)");
        EXPECT_EQ(control.caption(), QString::fromUtf8(c.expectedCaption)) << where;
        EXPECT_EQ(control.toolTip(), QString::fromUtf8(c.expectedToolTip)) << where;
    }
}

TEST(ApplyFormStrings, ComboBoxKeepsItsTexts)
{
    TestForm form;
    Control &combo = form.add(ControlKind::ComboBox, "5041", "2102", "5122");
    combo.setItems({QStringLiteral("None"), QStringLiteral("COM1")});
    combo.setText(QStringLiteral("COM1"));

    applyFormStrings(form, StringTable(Language::Japanese));

    EXPECT_EQ(combo.caption(), QStringLiteral("2102"));
    EXPECT_EQ(combo.toolTip(), QStringLiteral("5122"));
    EXPECT_EQ(combo.text(), QStringLiteral("COM1"));
    EXPECT_EQ(combo.items(), QStringList({QStringLiteral("None"), QStringLiteral("COM1")}));
    EXPECT_EQ(combo.selectedIndex(), 1);
}

TEST(ApplyFormStrings, FormCaptionNeedsAWholeNumberTag)
{
    const struct {
        const char *tag;
        const char *expectedCaption;
    } cases[] = {
        {"5029", "Porvix Options"},
        {" 5013 ", "Client I/O Options"},
        {"", "Design Caption"},
        {"0", "Design Caption"},
        {"-5029", "Design Caption"},
        {"5029abc", "Design Caption"},
        {"Porvix", "Design Caption"},
        {"9999", "Design Caption"},
    };
    for (const auto &c : cases) {
        TestForm form(QString::fromUtf8(c.tag));
        applyFormStrings(form, StringTable(Language::English));
        EXPECT_EQ(form.caption(), QString::fromUtf8(c.expectedCaption)) << c.tag;
    }
}

TEST(ApplyFormStrings, LocalisesEveryControlOfAWindow)
{
    TestForm form(QStringLiteral("5019"));
    Control &check = form.add(ControlKind::CheckBox, "5020", "Check");
    Control &menu = form.add(ControlKind::MenuItem, "", "2102");
    Control &ok = form.add(ControlKind::Button, "1207", "OK");

    applyFormStrings(form, StringTable(Language::Japanese));

    EXPECT_EQ(form.caption(), QString::fromUtf8("サーバー入出力オプション"));
    EXPECT_EQ(check.caption(), QString::fromUtf8("複数のクライアント接続を許可する"));
    EXPECT_EQ(menu.caption(), QString::fromUtf8("ファイル(&F)"));
    EXPECT_EQ(ok.caption(), QStringLiteral("&OK"));
}
