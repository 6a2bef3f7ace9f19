// The real program run by another user (root ignores file modes): a home
// that others may write into is refused, and files in a private home are
// written through a link only when the user made it to a file of the user.
#include "support/porvix_process.h"
#include "support/text.h"
#include "support/wait_until.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

using namespace pvx::testing;

namespace {

constexpr uid_t kUser = 65534;
constexpr uid_t kOther = 0;

// One session that is activated at start and fails on /dev/null, which is no
// serial port: a status change that the log records.
const QByteArray kSettings = "[Porvix]\r\nNumSessions=1\r\nLogErrors=1\r\n[Ports]\r\nCOM1=/dev/null\r\n"
                             "[Session1]\r\nConnector=1\r\nTCPOption=1\r\nPortNumber=0\r\nAutoActivate=1\r\n";

class HomeTrust : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "runs the program as another user through setpriv, which needs root";
        ASSERT_EQ(::chmod(QFile::encodeName(m_root.path()).constData(), 0711), 0);
        makeFolder(user(), kUser, kUser, 0700);
    }

    QString home() const { return m_root.filePath(s("home")); }
    QString user() const { return m_root.filePath(s("user")); }
    QString precious() const { return user() + s("/precious"); }

    static void own(const QString &path, uid_t uid, gid_t gid)
    {
        ASSERT_EQ(::lchown(QFile::encodeName(path).constData(), uid, gid), 0) << path.toStdString();
    }
    static void makeFolder(const QString &path, uid_t uid, gid_t gid, mode_t mode)
    {
        ASSERT_TRUE(QDir().mkdir(path));
        own(path, uid, gid);
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
    }
    static void makeFile(const QString &path, const QByteArray &bytes)
    {
        writeFile(path, bytes);
        own(path, kUser, kUser);
    }
    static void makeLink(const QString &target, const QString &link, uid_t uid)
    {
        ASSERT_TRUE(QFile::link(target, link));
        own(link, uid, uid);
    }

    /// Runs the program as the user on the home until it has started, then
    /// ends it with SIGTERM; a run that is refused ends by itself.
    Finished runAsUser(const QStringList &arguments = {})
    {
        const PorvixOptions options{.environment = {{s("HOME"), user()},
                                                    {s("XDG_CONFIG_HOME"), user()},
                                                    {s("XDG_RUNTIME_DIR"), user()}},
                                    .runner = {s("setpriv"), s("--reuid=%1").arg(kUser),
                                               s("--regid=%1").arg(kUser), s("--clear-groups"), s("--")}};
        Porvix run(QStringList{s("--headless"), s("--home"), home()} + arguments, options);
        EXPECT_TRUE(run.started());
        QString said;
        waitUntil([&] {
            said += run.errors();
            return said.contains(s("porvix: started")) || said.contains(s("home folder"));
        }, kStart);
        if (said.contains(s("porvix: started")))
            run.signal(SIGTERM);
        const int exitCode = run.finish();
        return {exitCode, run.output(), said + run.errors()};
    }

    QTemporaryDir m_root;
};

} // namespace

TEST_F(HomeTrust, AHomeOthersMayWriteIntoIsRefused)
{
    const struct {
        const char *name;
        uid_t owner;
        mode_t mode;
        const char *said;
    } cases[] = {
        {"owned by another user", kOther, 0770, " belongs to another user"},
        {"group-writable", kUser, 0770, " is writable by group or others (mode 0770)"},
        {"other-writable", kUser, 0757, " is writable by group or others (mode 0757)"},
        {"private", kUser, 0700, nullptr},
    };
    for (const auto &c : cases) {
        QDir(home()).removeRecursively();
        makeFolder(home(), c.owner, kUser, c.mode);
        const Finished run = runAsUser();
        if (!c.said) {
            EXPECT_EQ(run.exitCode, 0) << c.name << ": " << run.errors.toStdString();
            continue;
        }
        EXPECT_EQ(run.exitCode, 1) << c.name;
        EXPECT_TRUE(run.errors.contains(s("the home folder is refused: ") + home() + s(c.said)))
            << c.name << ": " << run.errors.toStdString();
        EXPECT_FALSE(QFileInfo::exists(home() + s("/default.pvx"))) << c.name;
    }
}

TEST_F(HomeTrust, FilesInTheHomeAreWrittenThroughTheUsersOwnLinksOnly)
{
    const struct {
        const char *name;
        const char *link;
        uid_t linkOwner;
        QByteArray precious;
        bool followed;
        const char *said;
    } cases[] = {
        {"errorlog.txt planted", "errorlog.txt", kOther, "kept", false, "/errorlog.txt: a symbolic link; not followed"},
        {"default.pvx by another user", "default.pvx", kOther, kSettings, false,
         "/default.pvx: a symbolic link made by another user; not followed"},
        {"default.pvx by the user", "default.pvx", kUser, kSettings, true, nullptr},
        {"the backup marker planted", ".default.pvx.bak.held", kOther, "kept", false,
         "/.default.pvx.bak.held: a symbolic link; not followed"},
    };
    for (const auto &c : cases) {
        QDir(home()).removeRecursively();
        makeFolder(home(), kUser, kUser, 0700);
        makeFile(precious(), c.precious);
        makeLink(precious(), home() + s("/") + s(c.link), c.linkOwner);
        QStringList arguments;
        if (QString::fromLatin1(c.link) != s("default.pvx"))
            makeFile(home() + s("/default.pvx"), kSettings);
        // Loading another file makes the save at exit keep default.pvx as a backup first.
        if (QString::fromLatin1(c.link).startsWith(s(".default.pvx.bak"))) {
            makeFile(user() + s("/other.pvx"), kSettings);
            arguments.append(user() + s("/other.pvx"));
        }

        const Finished run = runAsUser(arguments);
        EXPECT_EQ(run.exitCode, 0) << c.name << ": " << run.errors.toStdString();
        EXPECT_TRUE(QFileInfo(home() + s("/") + s(c.link)).isSymLink()) << c.name;
        EXPECT_EQ(readFile(precious()) != c.precious, c.followed) << c.name << ": " << readFile(precious()).constData();
        if (c.said) {
            EXPECT_TRUE(run.errors.contains(home() + s(c.said))) << c.name << ": " << run.errors.toStdString();
        }
    }
}
