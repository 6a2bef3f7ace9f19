#include "platform/linux/systemd_service.h"

#include "platform/linux/posix_file_store.h"
#include "support/text.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using pvx::platform::SystemdService;
using pvx::platform::UnitScope;
using pvx::testing::s;

namespace {

/// A user service on a temporary unit folder, systemd running; systemctl
/// calls are recorded and those listed in `refused` fail.
struct ServiceFixture {
    ServiceFixture()
        : service(files, {{s("/usr/bin/porvix"), s("/srv/home"), UnitScope::User, false}, folder.filePath(s("units")), true},
                  [this](const QStringList &arguments) -> pvx::platform::Result<void> {
                      calls.append(arguments.join(QLatin1Char(' ')));
                      if (refused.contains(calls.last()))
                          return pvx::platform::makeError(pvx::platform::ErrorCode::IoError, s("refused"));
                      return {};
                  })
    {
    }

    QTemporaryDir folder;
    pvx::platform::PosixFileStore files;
    QStringList calls;
    QStringList refused;
    SystemdService service;
};

} // namespace

TEST(SystemdUnit, OnlyAVisibleSystemUnitWaitsForTheNetwork)
{
    const QString network = s("After=network-online.target\nWants=network-online.target\n");
    const QString service = s("\n[Service]\nType=notify\nExecStart=\"/opt/porvix\" \"--headless\" \"--home\" \"/srv/p\"\n"
                              "Restart=on-failure\nRestartPreventExitStatus=3\n\n[Install]\nWantedBy=");
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
        EXPECT_EQ(pvx::platform::systemdUnitText({s("/opt/porvix"), s("/srv/p"), c.scope, c.hidden}),
                  s("[Unit]\nDescription=RS232 to TCP/IP Converter\n") + (c.waitsForNetwork ? network : QString())
                      + service + s(c.target) + QLatin1Char('\n'))
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
        // A line break must not start a setting of its own.
        {"x\nExecStartPre=/bin/false\t", "\"x\\x0aExecStartPre=/bin/false\\x09\""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(pvx::platform::systemdQuotedArgument(s(c.argument)), s(c.quoted)) << c.argument;
}

TEST(SystemdService, EnablesAfterWritingAndDisablesBeforeRemoving)
{
    ServiceFixture f;
    EXPECT_EQ(f.service.enableCommand(), s("systemctl --user enable --now porvix"));
    EXPECT_FALSE(f.service.uninstall()) << "nothing is installed yet";
    ASSERT_TRUE(f.service.install(false));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(f.service.unitPath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u) << "systemd warns about a unit others cannot read";
    ASSERT_TRUE(f.service.uninstall());
    EXPECT_FALSE(QFileInfo::exists(f.service.unitPath()));
    EXPECT_EQ(f.calls, (QStringList{s("--user daemon-reload"), s("--user enable porvix.service"),
                                    s("--user disable --now porvix.service"), s("--user daemon-reload")}));

    // A refused enable fails the install; a service that will not stop keeps its unit.
    f.refused = QStringList{s("--user enable porvix.service"), s("--user disable --now porvix.service")};
    EXPECT_FALSE(f.service.install(false));
    EXPECT_FALSE(f.service.uninstall());
    EXPECT_TRUE(QFileInfo::exists(f.service.unitPath()));
}

TEST(SystemdService, AFolderOfTheUsersChoosingLeavesSystemdAlone)
{
    const auto setup = SystemdService::setupFor(s("/usr/bin/porvix"), s("/srv/p"), [](const char *name) {
        return qstrcmp(name, "PORVIX_UNIT_DIR") == 0 ? s("/tmp/units/") : QString();
    });
    EXPECT_EQ(setup.folder, s("/tmp/units"));
    EXPECT_FALSE(setup.managerRunning);
}
