// The device watch on a real file system: which changes at a device's path
// give a hint, and that the watch follows folders that go and come.
#include "platform/linux/inotify_device_watch.h"
#include "platform/linux/inotify_watcher.h"
#include "support/text.h"
#include "support/wait_until.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

using pvx::testing::s;
using namespace std::chrono_literals;

namespace {

/// A folder tree in a temporary folder, its device path "serial/by-id/dev",
/// and the hints each watch got.
struct DeviceTree {
    QString path(const char *relative) const { return root.filePath(s(relative)); }
    void makeFolders(const char *relative) const { ASSERT_TRUE(QDir().mkpath(path(relative))); }
    void makeFile(const char *relative) const
    {
        QFile file(path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    void remove(const char *relative) const
    {
        const QString target = path(relative);
        ASSERT_TRUE(QFileInfo(target).isDir() ? QDir().rmdir(target) : QFile::remove(target)) << relative;
    }
    /// Starts a watch on `relative`; returns its index into `hints`.
    int watch(const char *relative)
    {
        const std::size_t index = hints.size();
        hints.push_back(0);
        const auto watched = devices.watch(path(relative), [this, index] { ++hints[index]; });
        EXPECT_TRUE(watched.ok());
        ids.push_back(watched ? *watched : -1);
        return static_cast<int>(index);
    }
    /// Whether watch `index` got a hint within a second from now on.
    bool hinted(int index)
    {
        const int before = hints[static_cast<std::size_t>(index)];
        return waitUntil([&] { return hints[static_cast<std::size_t>(index)] > before; }, 1s);
    }
    /// Whether it stays without a hint for a while.
    bool quiet(int index)
    {
        const int before = hints[static_cast<std::size_t>(index)];
        runEventsFor(200ms);
        return hints[static_cast<std::size_t>(index)] == before;
    }

    QTemporaryDir root;
    pvx::platform::InotifyWatcher watcher;
    pvx::platform::InotifyDeviceWatch devices{watcher};
    std::vector<int> hints;
    std::vector<int> ids;
};

} // namespace

TEST(InotifyDeviceWatch, HintsFollowTheDevicePathThroughFoldersThatGoAndCome)
{
    struct Step {
        const char *what;
        std::function<void(DeviceTree &)> change;
        bool hint;
    };
    const struct {
        const char *name;
        std::function<void(DeviceTree &)> before;
        std::vector<Step> steps;
    } cases[] = {
        {"entries in an existing folder",
         [](DeviceTree &t) { t.makeFolders("serial/by-id"); },
         {{"another name", [](DeviceTree &t) { t.makeFile("serial/by-id/other"); }, false},
          {"the device made", [](DeviceTree &t) { t.makeFile("serial/by-id/dev"); }, true},
          {"the device removed", [](DeviceTree &t) { t.remove("serial/by-id/dev"); }, false},
          {"a link renamed into place",
           [](DeviceTree &t) {
               ASSERT_TRUE(QFile::link(s("/dev/null"), t.path("serial/by-id/.tmp")));
               ASSERT_TRUE(QFile::rename(t.path("serial/by-id/.tmp"), t.path("serial/by-id/dev")));
           },
           true},
          {"the link removed", [](DeviceTree &t) { t.remove("serial/by-id/dev"); }, false},
          {"a plain file made", [](DeviceTree &t) { t.makeFile("serial/by-id/dev"); }, true},
          {"permissions given",
           [](DeviceTree &t) { ASSERT_TRUE(QFile::setPermissions(t.path("serial/by-id/dev"), QFile::ReadOwner)); },
           true}}},
        {"folders removed with the last device and made again",
         [](DeviceTree &t) {
             t.makeFolders("serial/by-id");
             t.makeFile("serial/by-id/dev");
         },
         {{"all removed",
           [](DeviceTree &t) {
               t.remove("serial/by-id/dev");
               t.remove("serial/by-id");
               t.remove("serial");
           },
           false},
          {"the folders made", [](DeviceTree &t) { t.makeFolders("serial/by-id"); }, true},
          {"the device made", [](DeviceTree &t) { t.makeFile("serial/by-id/dev"); }, true},
          {"its folder alone removed and made",
           [](DeviceTree &t) {
               t.remove("serial/by-id/dev");
               t.remove("serial/by-id");
               t.makeFolders("serial/by-id");
           },
           true},
          {"the device made again", [](DeviceTree &t) { t.makeFile("serial/by-id/dev"); }, true}}},
        {"a file where a folder belongs",
         [](DeviceTree &t) { t.makeFile("serial"); },
         {{"the file replaced by the folders",
           [](DeviceTree &t) {
               t.remove("serial");
               t.makeFolders("serial/by-id");
           },
           true},
          {"the device made", [](DeviceTree &t) { t.makeFile("serial/by-id/dev"); }, true}}},
    };
    for (const auto &c : cases) {
        DeviceTree tree;
        c.before(tree);
        const int watch = tree.watch("serial/by-id/dev");
        for (const Step &step : c.steps) {
            step.change(tree);
            if (step.hint)
                EXPECT_TRUE(tree.hinted(watch)) << c.name << ": " << step.what;
            else
                EXPECT_TRUE(tree.quiet(watch)) << c.name << ": " << step.what;
        }
    }
}

TEST(InotifyDeviceWatch, WatchesOfOneFolderHearOnlyTheirOwnDeviceUntilCancelled)
{
    DeviceTree tree;
    tree.makeFolders("by-id");
    const int first = tree.watch("by-id/one");
    const int second = tree.watch("by-id/two");
    const int alsoSecond = tree.watch("by-id/two");

    tree.makeFile("by-id/one");
    EXPECT_TRUE(tree.hinted(first));
    EXPECT_TRUE(tree.quiet(second));

    // Cancelling one watch of a folder leaves the others on it.
    tree.devices.cancel(tree.ids[static_cast<std::size_t>(first)]);
    tree.devices.cancel(tree.ids[static_cast<std::size_t>(second)]);
    tree.makeFile("by-id/two");
    EXPECT_TRUE(tree.hinted(alsoSecond));
    EXPECT_EQ(tree.hints[static_cast<std::size_t>(second)], 0);

    tree.devices.cancel(tree.ids[static_cast<std::size_t>(alsoSecond)]);
    tree.remove("by-id/two");
    tree.remove("by-id/one");
    tree.makeFile("by-id/one");
    tree.makeFile("by-id/two");
    runEventsFor(200ms);
    EXPECT_EQ(tree.hints, (std::vector<int>{1, 0, 1}));
}

TEST(InotifyDeviceWatch, ReleaseHintsComeWhenTheDeviceIsClosedOrItsLockFileGoes)
{
    DeviceTree tree;
    const QString name = s("pvx-release-%1").arg(QCoreApplication::applicationPid());
    tree.makeFile(name.toLatin1().constData());
    int hints = 0;
    const auto watched = tree.devices.watchRelease(tree.root.filePath(name), [&] { ++hints; });
    ASSERT_TRUE(watched.ok());

    const auto touch = [](const QString &path) { QFile(path).open(QIODevice::ReadWrite); };
    touch(tree.root.filePath(name));
    EXPECT_TRUE(waitUntil([&] { return hints == 1; }, 1s)) << "a program closed the device";

    int expected = 1;
    if (QFileInfo(s("/run/lock")).isWritable()) {
        // Named after the file name, or after the whole path with '_' for '/'.
        const QString otherLock = s("/run/lock/LCK..") + name + s("-other");
        touch(otherLock);
        ASSERT_TRUE(QFile::remove(otherLock));
        runEventsFor(200ms);
        EXPECT_EQ(hints, 1) << "another device's lock file";
        for (QString lock : {name, tree.root.filePath(name).replace(QLatin1Char('/'), QLatin1Char('_'))}) {
            lock.prepend(s("/run/lock/LCK.."));
            touch(lock);
            ASSERT_TRUE(QFile::remove(lock));
            EXPECT_TRUE(waitUntil([&] { return hints == expected + 1; }, 1s)) << lock.toStdString();
            ++expected;
        }
    }

    tree.devices.cancel(*watched);
    touch(tree.root.filePath(name));
    runEventsFor(200ms);
    EXPECT_EQ(hints, expected) << "no hint after cancel";
}
