#include "resources/language.h"

#include <QByteArray>
#include <QtGlobal>
#include <gtest/gtest.h>

using pvx::resources::Language;
using pvx::resources::languageForLocale;
using pvx::resources::languageFromEnvironment;

TEST(Language, FirstNonEmptyLocaleVariableDecides)
{
    const struct {
        const char *lcAll;
        const char *lcMessages;
        const char *lang;
        Language expected;
    } cases[] = {
        {"", "", "ja_JP.UTF-8", Language::Japanese},
        {"", "", "ja", Language::Japanese},
        {"", "", "C", Language::English},
        {"", "", "en_US", Language::English},
        {"", "", "", Language::English},
        {"C", "", "ja_JP.UTF-8", Language::English},
        {"ja_JP.eucJP", "en_US", "en_US", Language::Japanese},
        {"", "ja_JP.UTF-8", "en_US.UTF-8", Language::Japanese},
        {"", "en_GB.UTF-8", "ja_JP.UTF-8", Language::English},
        {"en_US.UTF-8", "ja_JP", "ja_JP", Language::English},
        {"", "", "de_DE.UTF-8", Language::English},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(languageForLocale(QString::fromLatin1(c.lcAll), QString::fromLatin1(c.lcMessages),
                                    QString::fromLatin1(c.lang)),
                  c.expected)
            << c.lcAll << " / " << c.lcMessages << " / " << c.lang;
    }
}

TEST(Language, ReadsTheProcessEnvironment)
{
    const QByteArray savedAll = qgetenv("LC_ALL");
    const QByteArray savedMessages = qgetenv("LC_MESSAGES");
    const QByteArray savedLang = qgetenv("LANG");

    qunsetenv("LC_ALL");
    qputenv("LC_MESSAGES", "");
    qputenv("LANG", "ja_JP.UTF-8");
    EXPECT_EQ(languageFromEnvironment(), Language::Japanese);
    qputenv("LC_MESSAGES", "en_US.UTF-8");
    EXPECT_EQ(languageFromEnvironment(), Language::English);

    const auto restore = [](const char *name, const QByteArray &value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    };
    restore("LC_ALL", savedAll);
    restore("LC_MESSAGES", savedMessages);
    restore("LANG", savedLang);
}
