#include "core/porvix_home.h"

#include <QDir>
#include <QHash>

#include <gtest/gtest.h>

using pvx::core::resolvePorvixHome;

namespace {

pvx::core::EnvironmentLookup environmentOf(QHash<QString, QString> variables)
{
    return [variables](const char *name) { return variables.value(QString::fromLatin1(name)); };
}

} // namespace

TEST(PorvixHome, TakesTheFirstSourceThatIsSet)
{
    const QHash<QString, QString> all{
        {QStringLiteral("PORVIX_HOME"), QStringLiteral("/srv/porvix")},
        {QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("/cfg")},
        {QStringLiteral("HOME"), QStringLiteral("/home/ann")},
    };
    const struct {
        const char *option;
        QStringList unset;
        const char *expected;
    } cases[] = {
        {"/opt/bridge/", {}, "/opt/bridge"},
        {"", {}, "/srv/porvix"},
        {"", {QStringLiteral("PORVIX_HOME")}, "/cfg/porvix"},
        {"", {QStringLiteral("PORVIX_HOME"), QStringLiteral("XDG_CONFIG_HOME")}, "/home/ann/.config/porvix"},
    };
    for (const auto &c : cases) {
        QHash<QString, QString> variables = all;
        for (const QString &name : c.unset)
            variables.remove(name);
        EXPECT_EQ(resolvePorvixHome(QString::fromLatin1(c.option), environmentOf(variables)),
                  QString::fromLatin1(c.expected))
            << c.option << " without " << c.unset.join(QLatin1Char(' ')).toStdString();
    }
}

TEST(PorvixHome, IgnoresEmptyAndRelativeXdgValues)
{
    const auto home = [](const char *xdg) {
        return resolvePorvixHome({}, environmentOf({{QStringLiteral("PORVIX_HOME"), QString()},
                                                    {QStringLiteral("XDG_CONFIG_HOME"), QString::fromLatin1(xdg)},
                                                    {QStringLiteral("HOME"), QStringLiteral("/home/bo")}}));
    };
    EXPECT_EQ(home(""), QStringLiteral("/home/bo/.config/porvix"));
    EXPECT_EQ(home("relative/cfg"), QStringLiteral("/home/bo/.config/porvix"));
}

TEST(PorvixHome, MakesARelativeHomeAbsolute)
{
    const QString resolved = resolvePorvixHome(QStringLiteral("here/../conf"), environmentOf({}));
    EXPECT_EQ(resolved, QDir::currentPath() + QStringLiteral("/conf"));
}

TEST(PorvixHome, NamesItsFiles)
{
    EXPECT_EQ(pvx::core::defaultConfigurationPath(QStringLiteral("/h/porvix")), QStringLiteral("/h/porvix/default.pvx"));
    EXPECT_EQ(pvx::core::errorLogPath(QStringLiteral("/h/porvix")), QStringLiteral("/h/porvix/errorlog.txt"));
    EXPECT_EQ(pvx::core::defaultConfigurationPath(QStringLiteral("/")), QStringLiteral("/default.pvx"));
}
