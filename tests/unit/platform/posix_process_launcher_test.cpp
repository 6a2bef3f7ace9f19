#include "platform/linux/posix_process_launcher.h"

#include "support/text.h"
#include "support/wait_until.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using pvx::testing::s;

TEST(PosixProcessLauncher, RunsTheCommandLineThroughTheShellWithoutWaiting)
{
    QTemporaryDir folder;
    const QString target = folder.filePath(s("ran"));
    pvx::platform::PosixProcessLauncher launcher;
    ASSERT_TRUE(launcher.startDetached(s("sleep 0.2; echo \"$((6 * 7))\" > '") + target + s("'; echo noise; echo more >&2")));
    EXPECT_FALSE(QFile::exists(target)) << "the call does not wait";
    ASSERT_TRUE(waitUntil([&] { return QFile(target).size() > 0; }, std::chrono::seconds(10)));
    QFile result(target);
    ASSERT_TRUE(result.open(QIODevice::ReadOnly));
    EXPECT_EQ(result.readAll(), QByteArray("42\n"));
}

TEST(PosixProcessLauncher, StartsAProgramFromTheSearchPathOnlyWhenItIsInstalled)
{
    pvx::platform::PosixProcessLauncher launcher;
    EXPECT_TRUE(launcher.startProgram(s("true")));
    const auto missing = launcher.startProgram(s("porvix-no-such-program"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, pvx::platform::ErrorCode::NotFound);
}
