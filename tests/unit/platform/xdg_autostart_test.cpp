#include "platform/linux/xdg_autostart.h"

#include "platform/linux/posix_file_store.h"
#include "support/text.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using pvx::testing::s;

TEST(XdgAutostart, WritesAndRemovesTheDesktopEntry)
{
    QTemporaryDir config;
    pvx::platform::PosixFileStore files;
    pvx::platform::XdgAutostart autostart(files, config.path());
    EXPECT_EQ(autostart.entryPath(), config.path() + s("/autostart/porvix.desktop"));
    EXPECT_FALSE(autostart.isEnabled());
    EXPECT_TRUE(autostart.disable()) << "removing a missing entry succeeds";

    ASSERT_TRUE(autostart.enable(s("\"/opt/50% off/porvix\" --home \"/srv/a\\\\b\"")));
    EXPECT_TRUE(autostart.isEnabled());
    QFile entry(autostart.entryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.startsWith(s("[Desktop Entry]\n")));
    EXPECT_TRUE(text.contains(s("\nType=Application\n")));
    EXPECT_TRUE(text.contains(s("\nExec=\"/opt/50%% off/porvix\" --home \"/srv/a\\\\\\\\b\"\n"))) << text.toStdString();

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(autostart.entryPath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    ASSERT_TRUE(autostart.disable());
    EXPECT_FALSE(autostart.isEnabled());
}

TEST(XdgAutostart, AFolderThatCannotBeMadeIsAnError)
{
    QTemporaryDir config;
    QFile blocker(config.filePath(s("autostart")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    pvx::platform::PosixFileStore files;
    pvx::platform::XdgAutostart autostart(files, config.path());
    EXPECT_FALSE(autostart.enable(s("\"/usr/bin/porvix\"")));
}
