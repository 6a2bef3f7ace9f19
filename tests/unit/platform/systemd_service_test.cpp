#include "platform/linux/systemd_service.h"

#include "platform/linux/posix_file_store.h"
#include "support/text.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using pvx::platform::SystemdService;
using pvx::platform::SystemdUnit;
using pvx::platform::UnitScope;
using pvx::testing::s;

namespace {

/// A service on a temporary unit folder whose systemctl calls are recorded.
struct ServiceFixture {
    explicit ServiceFixture(UnitScope scope, bool managerRunning = true)
        : service(files, {{s("/usr/bin/porvix"), s("/srv/home"), scope, false}, folder.filePath(s("units")), managerRunning},
                  [this](const QStringList &arguments) -> pvx::platform::Result<void> {
                      calls.append(arguments.join(QLatin1Char(' ')));
                      if (failing.contains(arguments.join(QLatin1Char(' '))))
                          return pvx::platform::makeError(pvx::platform::ErrorCode::IoError, s("refused"));
                      return {};
                  })
    {
    }

    QString unitText() const
    {
        QFile file(service.unitPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir folder;
    pvx::platform::PosixFileStore files;
    QStringList calls;
    QStringList failing;
    SystemdService service;
};

} // namespace

TEST(SystemdUnit, TextForEachScopeAndInstall)
{
    const QString body = s("\n[Service]\n"
                           "Type=notify\n"
                           "ExecStart=\"/opt/porvix\" \"--headless\" \"--home\" \"/srv/p\"\n"
                           "Restart=on-failure\n"
                           "RestartPreventExitStatus=3\n"
                           "\n[Install]\n");
    const QString network = s("After=network-online.target\nWants=network-online.target\n");
    const struct {
        UnitScope scope;
        bool hidden;
        bool waitsForNetwork;
        const char *target;
    } cases[] = {
        {UnitScope::System, false, true, "multi-user.target"},
        {UnitScope::System, true, false, "multi-user.target"},
        {UnitScope::User, false, false, "default.target"},
        {UnitScope::User, true, false, "default.target"},
    };
    for (const auto &c : cases) {
        const QString expected = s("[Unit]\nDescription=RS232 to TCP/IP Converter\n")
                                 + (c.waitsForNetwork ? network : QString()) + body + s("WantedBy=") + s(c.target)
                                 + QLatin1Char('\n');
        EXPECT_EQ(pvx::platform::systemdUnitText({s("/opt/porvix"), s("/srv/p"), c.scope, c.hidden}), expected)
            << c.target << (c.hidden ? " hidden" : "");
    }
}

TEST(SystemdUnit, ArgumentsAreQuotedAndNeverExpanded)
{
    const struct {
        const char *argument;
        const char *quoted;
    } cases[] = {
        {"/srv/my home", "\"/srv/my home\""},
        {"50% $HOME", "\"50%% $$HOME\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"x\nExecStartPre=/bin/false", "\"x\\x0aExecStartPre=/bin/false\""},
        {"tab\there;", "\"tab\\x09here;\""},
        {"日本", "\"日本\""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(pvx::platform::systemdQuotedArgument(s(c.argument)), s(c.quoted)) << c.argument;
}

TEST(SystemdService, InstallsEnablesAndRemovesThroughTheUsersManager)
{
    ServiceFixture f(UnitScope::User);
    EXPECT_EQ(f.service.enableCommand(), s("systemctl --user enable --now porvix"));
    EXPECT_FALSE(f.service.uninstall()) << "nothing is installed yet";

    ASSERT_TRUE(f.service.install(false));
    EXPECT_TRUE(f.unitText().contains(s("\nWantedBy=default.target\n")));
    ASSERT_TRUE(f.service.install(true)) << "installing again replaces the unit";
    EXPECT_EQ(f.calls, (QStringList{s("--user daemon-reload"), s("--user enable porvix.service"),
                                    s("--user daemon-reload"), s("--user enable porvix.service")}));

    f.calls.clear();
    ASSERT_TRUE(f.service.uninstall());
    EXPECT_EQ(f.calls, (QStringList{s("--user disable --now porvix.service"), s("--user daemon-reload")}));
    EXPECT_FALSE(QFileInfo::exists(f.service.unitPath()));
}

TEST(SystemdService, AServiceThatWillNotStopKeepsItsUnitAndAFailedEnableFails)
{
    ServiceFixture f(UnitScope::System);
    EXPECT_EQ(f.service.enableCommand(), s("systemctl enable --now porvix"));
    f.failing = QStringList{s("enable porvix.service"), s("disable --now porvix.service")};
    const auto installed = f.service.install(false);
    ASSERT_FALSE(installed);
    EXPECT_EQ(installed.error().detail, s("refused"));
    EXPECT_TRUE(f.unitText().contains(s("\nWants=network-online.target\n")));
    EXPECT_FALSE(f.service.uninstall());
    EXPECT_TRUE(QFileInfo::exists(f.service.unitPath()));
}

TEST(SystemdService, WithoutSystemdOnlyTheFileIsWrittenAndRemoved)
{
    ServiceFixture f(UnitScope::System, false);
    ASSERT_TRUE(f.service.install(false));
    ASSERT_TRUE(f.service.uninstall());
    EXPECT_TRUE(f.calls.isEmpty());
}

TEST(SystemdService, TheUnitFolderFollowsTheUserAndTheOverride)
{
    const auto lookup = [](QString unitDir) {
        return [unitDir](const char *name) {
            if (qstrcmp(name, "PORVIX_UNIT_DIR") == 0)
                return unitDir;
            return qstrcmp(name, "XDG_CONFIG_HOME") == 0 ? s("/home/u/.cfg") : s("/home/u");
        };
    };
    const auto overridden = SystemdService::setupFor(s("/usr/bin/porvix"), s("/srv/p"), lookup(s("/tmp/units/")));
    EXPECT_EQ(overridden.folder, s("/tmp/units"));
    EXPECT_FALSE(overridden.managerRunning) << "systemd does not read a folder of our choosing";

    const auto own = SystemdService::setupFor(s("/usr/bin/porvix"), s("/srv/p"), lookup({}));
    const bool root = ::geteuid() == 0;
    EXPECT_EQ(own.unit.scope, root ? UnitScope::System : UnitScope::User);
    EXPECT_EQ(own.folder, root ? s("/etc/systemd/system") : s("/home/u/.cfg/systemd/user"));
    EXPECT_EQ(own.unit.program, s("/usr/bin/porvix"));
    EXPECT_EQ(own.unit.home, s("/srv/p"));
}
