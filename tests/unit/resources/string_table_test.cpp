#include "resources/string_table.h"

#include <gtest/gtest.h>

#include <optional>

using pvx::resources::Language;
using pvx::resources::StringId;
using pvx::resources::StringTable;

namespace {

// Every id the program fetches; other parts rely on each one being present
// in both languages.
constexpr int kUsedIds[] = {
    1102, 1207, 1208, 2101, 2102, 2103, 2104, 2105, 2106, 2107, 2108, 2109, 2110,
    2111, 2112, 2113, 2114, 2122, 2123, 2124, 2125, 2126, 2127, 2128, 2129, 2130, 2131, 2132,
    2202, 2203, 2204, 2205, 2206, 2207, 2208, 2209, 2210, 2211, 2212, 2213, 2214, 2215, 2216,
    2217, 5000, 5001, 5002, 5003, 5004, 5005, 5006, 5007, 5008, 5009, 5010, 5011, 5012, 5013,
    5014, 5015, 5016, 5017, 5018, 5019, 5020, 5021, 5022, 5023, 5024, 5025, 5026, 5027, 5028,
    5029, 5030, 5031, 5032, 5033, 5034, 5035, 5036, 5037, 5038, 5039, 5041, 5042, 5043, 5044,
    5045, 5046, 5047, 5048, 5049, 5050, 5051, 5052, 5053, 5054, 5055, 5056, 5057, 5058, 5059,
    5060, 5061, 5062, 5063, 5064, 5065, 5073, 5084, 5085, 5087, 5088, 5089, 5090, 5091, 5092, 5093,
    5094, 5095, 5096, 5097, 5098, 5099, 5100, 5101, 5102, 5103, 5104, 5105, 5106, 5107, 5109,
    5110, 5111, 5112, 5113, 5114, 5115, 5118, 5119, 5120, 5122, 5123, 5124, 5130, 5132, 5135, 5136, 5137, 5140,
    5150, 5151, 5152, 5153, 5154, 5155, 5156, 5157, 5158, 5159, 5160, 5161, 5162, 5163, 5170, 5180,
    5200, 5201, 5202, 5203, 5204, 5205, 5206, 5207, 5208, 5209, 5210,
};

// The accelerator letter of a menu or button text ("E&xit" gives 'x'), if any.
std::optional<QChar> accelerator(const QString &text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('&'))
            continue;
        if (text.at(i + 1) != QLatin1Char('&'))
            return text.at(i + 1).toLower();
        ++i;
    }
    return std::nullopt;
}

} // namespace

TEST(StringTable, KnowsItsLanguage)
{
    EXPECT_EQ(StringTable(Language::English).language(), Language::English);
    EXPECT_EQ(StringTable(Language::Japanese).language(), Language::Japanese);
}

TEST(StringTable, GivesTheTextsOfBothLanguages)
{
    const struct {
        int id;
        const char *english;
        const char *japanese;  // null: only the English text is fixed
    } cases[] = {
        {1207, "&OK", "&OK"},
        {1208, "&Cancel", "キャンセル(&C)"},
        {2101, "&Close", "閉じる(&C)"},
        {2102, "&File", "ファイル(&F)"},
        {2103, "&New", "新規(&N)"},
        {2107, "E&xit", "終了(&x)"},
        {5009, "Activate", "アクティブ化"},
        {5118, "De-Activate", "非アクティブ化"},
        {2127, "Porvix on the &Web", "Porvix のウェブサイト(&W)"},
        {5102, "Port numbers must range between 0 and 65565", nullptr},
        {5099, "Error -", nullptr},
        {5057, "About Porvix", nullptr},
        {5058, "RS232 to TCP/IP Converter", nullptr},
        {5073, "System Information Is Unavailable At This Time", nullptr},
        {5124, "Enter the Workstation Name or the URL for the computer that you want to find the IP Address of",
         nullptr},
    };
    const StringTable english(Language::English);
    const StringTable japanese(Language::Japanese);
    for (const auto &c : cases) {
        EXPECT_EQ(english.text(c.id), QString::fromUtf8(c.english)) << c.id;
        if (c.japanese) {
            EXPECT_EQ(japanese.text(c.id), QString::fromUtf8(c.japanese)) << c.id;
        }
    }
}

TEST(StringTable, HoldsEveryUsedIdInBothLanguages)
{
    const StringTable english(Language::English);
    const StringTable japanese(Language::Japanese);
    for (const int id : kUsedIds) {
        EXPECT_TRUE(english.contains(id)) << id;
        EXPECT_FALSE(english.text(id).isEmpty()) << id;
        EXPECT_TRUE(japanese.contains(id)) << id;
        EXPECT_FALSE(japanese.text(id).isEmpty()) << id;
    }
    EXPECT_EQ(english.ids(), japanese.ids());
    EXPECT_EQ(english.ids().size(), std::size(kUsedIds));
}

TEST(StringTable, JapaneseTextsAreRealTranslations)
{
    const StringTable english(Language::English);
    const StringTable japanese(Language::Japanese);
    for (const int id : japanese.ids()) {
        const QString text = japanese.text(id);
        EXPECT_FALSE(text.contains(QLatin1Char('?'))) << id;
        EXPECT_FALSE(text.contains(QChar(u'\uFF1F'))) << id;  // full-width question mark
        EXPECT_FALSE(text.contains(QChar::ReplacementCharacter)) << id;
        // The same key must open the same item in either language.
        EXPECT_EQ(accelerator(text), accelerator(english.text(id))) << id;
    }
}

TEST(StringTable, NamedIdsLeadToTheTextsTheirNamesSay)
{
    const struct {
        StringId id;
        const char *english;
    } cases[] = {
        {StringId::ProgramTitle, "RS232 to TCP/IP Converter"},
        {StringId::ProgramDescription, "Joins serial ports, real or virtual, to TCP/IP and UDP networks."},
        {StringId::ServiceInstalled, "service installed successfully."},
        {StringId::ServiceNotInstalled, "service did not install successfully."},
        {StringId::ServiceUninstalled, "service uninstalled successfully."},
        {StringId::ServiceNotUninstalled, "service did not uninstall successfully."},
        {StringId::InvalidPassword, "Invalid password"},
        {StringId::SystemInfoUnavailable, "System Information Is Unavailable At This Time"},
        {StringId::PasswordsDiffer, "Your confirming password does not match your password. Please re-enter."},
        {StringId::PingAddressMissing,
         "Please enter an IP Address or host name for the computer or device that you want to ping."},
        {StringId::PingAddressMissingTitle, "Ping Error - Missing or invalid IP Address"},
        {StringId::CannotResolveHostName, "Cannot resolve the IP Address for host name:"},
        {StringId::NewSessionName, "New"},
        {StringId::PingAddressTip, "Enter the IP Address of the computer that you want to ping."},
        {StringId::PingDataTip, "Enter the data string that you want to ping the computer with."},
        {StringId::HostNameTip,
         "Enter the Workstation Name or the URL for the computer that you want to find the IP Address of"},
        {StringId::EnableServiceLater, "systemd is not running; once it runs, enable and start the service with:"},
    };
    const StringTable english(Language::English);
    const StringTable japanese(Language::Japanese);
    for (const auto &c : cases) {
        const int number = static_cast<int>(c.id);
        EXPECT_EQ(english.text(c.id), QString::fromUtf8(c.english)) << number;
        EXPECT_EQ(japanese.text(c.id), japanese.text(number)) << number;
    }
}

TEST(StringTable, ActivationTextsAgreeInEachLanguage)
{
    for (const Language language : {Language::English, Language::Japanese}) {
        const StringTable strings(language);
        EXPECT_EQ(strings.text(5087), strings.text(5009));
        EXPECT_NE(strings.text(5087), strings.text(5118));
    }
}

TEST(StringTable, UnknownIdsGiveNoText)
{
    const StringTable strings(Language::Japanese);
    for (const int id : {-1, 0, 1, 20, 21, 5040, 5108, 65535, 70000}) {
        EXPECT_FALSE(strings.contains(id)) << id;
        EXPECT_TRUE(strings.text(id).isNull()) << id;
    }
}
