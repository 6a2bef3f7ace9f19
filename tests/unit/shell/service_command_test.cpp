#include "shell/service_command.h"

#include "fakes/fake_unattended.h"
#include "resources/string_table.h"
#include "support/text.h"

#include <gtest/gtest.h>

using pvx::platform::MessageIcon;
using pvx::shell::ServiceMessage;
using pvx::shell::ServiceSwitch;
using pvx::testing::s;
using Kind = ServiceSwitch::Kind;

TEST(ServiceCommand, SaysWhatEachSwitchDidAndExitsWithItsOutcome)
{
    const char *installed = "Porvix service installed successfully.";
    const char *later = "Porvix service installed successfully.\n"
                        "systemd is not running; once it runs, enable and start the service with:\nstart-it-later";
    const char *notInstalled = "Porvix service did not install successfully.\nnot allowed";
    const char *uninstalled = "Porvix service uninstalled successfully.";
    const char *notUninstalled = "Porvix service did not uninstall successfully.\nnot allowed";
    const struct Case {
        Kind kind;
        bool silent;
        bool fails;
        bool managerRunning;
        const char *said;  // null: nothing shown
        MessageIcon icon;
    } cases[] = {
        {Kind::Install, false, false, true, installed, MessageIcon::None},
        {Kind::Install, false, false, false, later, MessageIcon::None},
        {Kind::Install, true, false, false, nullptr, MessageIcon::None},
        {Kind::Install, true, true, true, notInstalled, MessageIcon::Critical},
        {Kind::InstallHidden, false, false, false, nullptr, MessageIcon::None},
        {Kind::InstallHidden, true, true, true, notInstalled, MessageIcon::Critical},
        {Kind::Uninstall, false, false, true, uninstalled, MessageIcon::None},
        {Kind::Uninstall, false, false, false, uninstalled, MessageIcon::None},
        {Kind::Uninstall, true, false, true, nullptr, MessageIcon::None},
        {Kind::Uninstall, true, true, true, notUninstalled, MessageIcon::None},
    };
    const pvx::resources::StringTable english(pvx::resources::Language::English);
    for (const Case &c : cases) {
        const std::string name = std::to_string(static_cast<int>(c.kind)) + (c.silent ? " silent" : "")
                                 + (c.fails ? " failing" : "") + (c.managerRunning ? "" : " without systemd");
        pvx::fakes::FakeServiceControl service;
        service.fails = c.fails;
        service.running = c.managerRunning;
        QList<ServiceMessage> shown;
        const int status = pvx::shell::runServiceCommand({c.kind, c.silent}, service, english,
                                                         [&shown](const ServiceMessage &said) { shown.append(said); });

        EXPECT_EQ(status, c.fails ? 1 : 0) << name;
        EXPECT_EQ(service.uninstalls, c.kind == Kind::Uninstall ? 1 : 0) << name;
        EXPECT_EQ(service.installs, c.kind == Kind::Uninstall ? QList<bool>{} : QList<bool>{c.kind == Kind::InstallHidden})
            << name;
        ASSERT_EQ(shown.size(), c.said ? 1 : 0) << name;
        if (c.said) {
            EXPECT_EQ(shown.first().text, s(c.said)) << name;
            EXPECT_EQ(shown.first().failure, c.fails) << name;
            EXPECT_EQ(shown.first().icon, c.icon) << name;
        }
    }
}
