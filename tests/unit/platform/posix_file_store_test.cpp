#include "platform/linux/posix_file_store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

using pvx::platform::ErrorCode;
using pvx::platform::PosixFileStore;

namespace {

class PosixFileStoreTest : public ::testing::Test {
protected:
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    static mode_t modeOf(const QString &file)
    {
        struct stat info {};
        EXPECT_EQ(::lstat(QFile::encodeName(file).constData(), &info), 0) << file.toStdString();
        return info.st_mode & 07777;
    }

    static void put(const QString &file, const QByteArray &bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QStringList entries() const
    {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    QTemporaryDir m_dir;
    PosixFileStore m_store;
};

} // namespace

TEST_F(PosixFileStoreTest, ReadingAMissingFileSaysNotFound)
{
    const auto missing = m_store.readAll(path("missing.pvx"));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ErrorCode::NotFound);
    EXPECT_TRUE(missing.error().detail.contains(path("missing.pvx")));

    put(path("file"), "x");
    EXPECT_EQ(m_store.readAll(path("file") + QStringLiteral("/below")).error().code, ErrorCode::NotFound);
}

TEST_F(PosixFileStoreTest, ReadsNothingButRegularFiles)
{
    const auto folder = m_store.readAll(m_dir.path());
    ASSERT_FALSE(folder.ok());
    EXPECT_EQ(folder.error().code, ErrorCode::InvalidArgument);

    // A FIFO without a writer would block a plain read for ever.
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    EXPECT_FALSE(m_store.readAll(path("fifo")).ok());
    EXPECT_FALSE(m_store.append(path("fifo"), "x").ok());
}

TEST_F(PosixFileStoreTest, WritesAtomicallyUserOnly)
{
    const QString file = path("default.pvx");
    ASSERT_TRUE(m_store.writeAtomically(file, "first").ok());
    EXPECT_EQ(*m_store.readAll(file), QByteArray("first"));
    EXPECT_EQ(modeOf(file), 0600u);

    put(file, "older and longer content");
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0644), 0);
    const QByteArray big(300 * 1024, 'b');
    ASSERT_TRUE(m_store.writeAtomically(file, big).ok());
    EXPECT_EQ(*m_store.readAll(file), big);
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("default.pvx")});
}

TEST_F(PosixFileStoreTest, FailedWritesLeaveEverythingAsItWas)
{
    // The target is a folder: the rename fails even for root.
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("taken")));
    put(path("taken/inside"), "kept");
    const auto overFolder = m_store.writeAtomically(path("taken"), "new");
    ASSERT_FALSE(overFolder.ok());
    EXPECT_TRUE(overFolder.error().detail.startsWith(path("taken") + QStringLiteral(": ")));
    EXPECT_EQ(*m_store.readAll(path("taken/inside")), QByteArray("kept"));

    // The parent is a regular file.
    put(path("plain"), "plain");
    EXPECT_FALSE(m_store.writeAtomically(path("plain") + QStringLiteral("/default.pvx"), "new").ok());
    EXPECT_EQ(*m_store.readAll(path("plain")), QByteArray("plain"));

    // The parent does not exist.
    EXPECT_EQ(m_store.writeAtomically(path("nowhere/default.pvx"), "new").error().code, ErrorCode::NotFound);

    EXPECT_EQ(entries(), (QStringList{QStringLiteral("plain"), QStringLiteral("taken")}));
}

TEST_F(PosixFileStoreTest, AWriteThatFailsHalfwayKeepsTheOldFile)
{
    const QString file = path("default.pvx");
    put(file, "old settings");

    // A file size limit binds root too; the write fails in the middle.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto result = m_store.writeAtomically(file, QByteArray(64 * 1024, 'n'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().code, ErrorCode::IoError);
    EXPECT_EQ(*m_store.readAll(file), QByteArray("old settings"));
    EXPECT_EQ(entries(), QStringList{QStringLiteral("default.pvx")});
}

TEST_F(PosixFileStoreTest, WritingThroughALinkKeepsTheLink)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("dotfiles")));
    put(path("dotfiles/porvix.pvx"), "old");
    ASSERT_TRUE(QFile::link(QStringLiteral("dotfiles/porvix.pvx"), path("default.pvx")));

    ASSERT_TRUE(m_store.writeAtomically(path("default.pvx"), "new").ok());
    EXPECT_TRUE(QFileInfo(path("default.pvx")).isSymLink());
    EXPECT_EQ(*m_store.readAll(path("dotfiles/porvix.pvx")), QByteArray("new"));
}

TEST_F(PosixFileStoreTest, AppendsAndCreatesUserOnly)
{
    const QString log = path("errorlog.txt");
    ASSERT_TRUE(m_store.append(log, "one\r\n").ok());
    ASSERT_TRUE(m_store.append(log, "two\r\n").ok());
    EXPECT_EQ(*m_store.readAll(log), QByteArray("one\r\ntwo\r\n"));
    EXPECT_EQ(modeOf(log), 0600u);

    EXPECT_FALSE(m_store.append(m_dir.path(), "x").ok());
    EXPECT_EQ(m_store.append(path("nowhere/errorlog.txt"), "x").error().code, ErrorCode::NotFound);

    // Moving the log aside replaces the older one.
    EXPECT_EQ(*m_store.fileSize(log), 10);
    put(path("errorlog.txt.1"), "older");
    ASSERT_TRUE(m_store.rename(log, path("errorlog.txt.1")).ok());
    EXPECT_EQ(*m_store.readAll(path("errorlog.txt.1")), QByteArray("one\r\ntwo\r\n"));
    EXPECT_EQ(m_store.fileSize(log).error().code, ErrorCode::NotFound);
    EXPECT_FALSE(m_store.rename(log, path("errorlog.txt.1")).ok());

    // Removing a file that is gone already is no error; a folder is not removed.
    ASSERT_TRUE(m_store.remove(path("errorlog.txt.1")).ok());
    EXPECT_FALSE(QFileInfo::exists(path("errorlog.txt.1")));
    EXPECT_TRUE(m_store.remove(path("errorlog.txt.1")).ok());
    EXPECT_FALSE(m_store.remove(m_dir.path()).ok());
}

TEST_F(PosixFileStoreTest, CreatesPrivateFolders)
{
    const QString home = path("a/b/porvix");
    ASSERT_TRUE(m_store.ensurePrivateDirectory(home).ok());
    EXPECT_TRUE(QFileInfo(home).isDir());
    EXPECT_EQ(modeOf(home), 0700u);

    // An existing folder is left as the user set it.
    ASSERT_EQ(::chmod(QFile::encodeName(home).constData(), 0750), 0);
    ASSERT_TRUE(m_store.ensurePrivateDirectory(home + QLatin1Char('/')).ok());
    EXPECT_EQ(modeOf(home), 0750u);

    put(path("file"), "x");
    EXPECT_FALSE(m_store.ensurePrivateDirectory(path("file")).ok());
    EXPECT_FALSE(m_store.ensurePrivateDirectory(path("file/below")).ok());
    EXPECT_FALSE(m_store.ensurePrivateDirectory(QString()).ok());
}

TEST_F(PosixFileStoreTest, RemovesOnlyItsOwnTemporaryFilesWhateverTheirAge)
{
    const struct {
        const char *name;
        char kind; // f file, d folder, l link to a file
        bool removed;
    } cases[] = {
        {".pvx-save-a1B2c3", 'f', true},
        {".pvx-save-young1", 'f', true},
        {".pvx-save-short", 'f', false},
        {"default.pvx", 'f', false},
        {".pvx-save-folder", 'd', false},
        {".pvx-save-link12", 'l', false},
    };
    put(path("target"), "kept");
    for (const auto &c : cases) {
        const QString file = path(c.name);
        if (c.kind == 'd')
            ASSERT_TRUE(QDir().mkdir(file));
        else if (c.kind == 'l')
            ASSERT_TRUE(QFile::link(path("target"), file));
        else
            put(file, "password=x");
    }

    m_store.removeTemporaryFiles(m_dir.path());
    for (const auto &c : cases)
        EXPECT_EQ(!entries().contains(QLatin1String(c.name)), c.removed) << c.name;
    EXPECT_TRUE(entries().contains(QStringLiteral("target")));

    // A save that is really written leaves nothing behind for the cleanup.
    ASSERT_TRUE(m_store.writeAtomically(path("default.pvx"), "new").ok());
    EXPECT_EQ(entries().filter(QStringLiteral(".pvx-save-")).size(), 3);
}

TEST_F(PosixFileStoreTest, TheLogAndMarkersAreNeverWrittenThroughALink)
{
    put(path("precious"), "kept");
    ASSERT_TRUE(QFile::link(path("precious"), path("errorlog.txt")));
    ASSERT_TRUE(QFile::link(path("precious"), path("marker")));
    EXPECT_EQ(m_store.append(path("errorlog.txt"), "line").error().detail,
              path("errorlog.txt") + QStringLiteral(": a symbolic link; not followed"));
    EXPECT_EQ(m_store.createEmpty(path("marker")).error().code, ErrorCode::AccessDenied);
    EXPECT_EQ(*m_store.readAll(path("precious")), QByteArray("kept"));

    // A marker is made once, user-only; one already there is no error.
    ASSERT_TRUE(m_store.createEmpty(path("new")).ok());
    EXPECT_EQ(modeOf(path("new")), 0600u);
    put(path("new"), "x");
    EXPECT_TRUE(m_store.createEmpty(path("new")).ok());
    EXPECT_EQ(*m_store.readAll(path("new")), QByteArray("x"));
}
