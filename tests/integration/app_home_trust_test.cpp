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

// One session activated at start that fails on /dev/null, which is no serial
// port: a status change for the log.
const QByteArray kSettings = "[Porvix]\r\nNumSessions=1\r\nLogErrors=1\r\n[Ports]\r\nCOM1=/dev/null\r\n"
                             "[Session1]\r\nConnector=1\r\nTCPOption=1\r\nPortNumber=0\r\nAutoActivate=1\r\n";

class HomeTrust : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "runs the program as another user through setpriv, which needs root";
        ASSERT_EQ(::chmod(QFile::encodeName(m_root.path()).constData(), 0711), 0);
        make(user(), kUser, 0700, {});
    }

    QString home(const char *name = "") const { return m_root.filePath(s("home/") + s(name)); }
    QString user(const char *name = "") const { return m_root.filePath(s("user/") + s(name)); }

    /// A folder (no bytes), a file or, with a `linkTo`, a symbolic link.
    static void make(const QString &path, uid_t owner, mode_t mode, const QByteArray &bytes, const QString &linkTo = {})
    {
        if (!linkTo.isEmpty())
            ASSERT_TRUE(QFile::link(linkTo, path));
        else if (bytes.isNull())
            ASSERT_TRUE(QDir().mkdir(path));
        else
            writeFile(path, bytes);
        const QByteArray name = QFile::encodeName(path);
        ASSERT_EQ(::lchown(name.constData(), owner, kUser), 0);
        if (linkTo.isEmpty()) {
            ASSERT_EQ(::chmod(name.constData(), mode), 0);
        }
    }

    /// Runs the program as the user on the home until it has started, then
    /// ends it with SIGTERM; a run that is refused ends by itself.
    Finished runAsUser(const QStringList &arguments = {})
    {
        Porvix run(QStringList{s("--headless"), s("--home"), home()} + arguments,
                   {.environment = {{s("HOME"), user()}, {s("XDG_CONFIG_HOME"), user()}, {s("XDG_RUNTIME_DIR"), user()}},
                    .runner = {s("setpriv"), s("--reuid=%1").arg(kUser), s("--regid=%1").arg(kUser),
                               s("--clear-groups"), s("--")}});
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
        make(home(), c.owner, c.mode, {});
        const Finished run = runAsUser();
        EXPECT_EQ(run.exitCode, c.said ? 1 : 0) << c.name << ": " << run.errors.toStdString();
        EXPECT_EQ(run.errors.contains(s("the home folder is refused: ") + QDir::cleanPath(home()) + s(c.said)),
                  c.said != nullptr) << c.name << ": " << run.errors.toStdString();
        EXPECT_EQ(QFileInfo::exists(home("default.pvx")), !c.said) << c.name;
    }
}

TEST_F(HomeTrust, FilesInTheHomeAreWrittenThroughTheUsersOwnLinksOnly)
{
    const struct {
        const char *link;
        uid_t linkOwner;
        uid_t targetOwner;
        QByteArray target;
        bool followed;
        const char *said;
    } cases[] = {
        {"errorlog.txt", kOther, kUser, "kept", false, "errorlog.txt: a symbolic link; not followed"},
        {"default.pvx", kOther, kUser, kSettings, false, "default.pvx: a symbolic link made by another user; not followed"},
        {"default.pvx", kUser, kOther, kSettings, false, "default.pvx: a symbolic link to a file of another user; not followed"},
        {"default.pvx", kUser, kUser, kSettings, true, nullptr},
        {".default.pvx.bak.held", kOther, kUser, "kept", false, ".default.pvx.bak.held: a symbolic link; not followed"},
    };
    for (const auto &c : cases) {
        const std::string name = std::string(c.link) + (c.followed ? " followed" : " refused");
        QDir(home()).removeRecursively();
        QFile::remove(user("target"));
        make(home(), kUser, 0700, {});
        make(user("target"), c.targetOwner, 0666, c.target);
        make(home(c.link), c.linkOwner, 0, {}, user("target"));
        if (qstrcmp(c.link, "default.pvx") != 0)
            make(home("default.pvx"), kUser, 0600, kSettings);
        // Sessions from another file have the save at exit keep default.pvx as a backup first.
        if (c.link[0] == '.')
            make(user("other.pvx"), kUser, 0600, kSettings);

        const Finished run = runAsUser(c.link[0] == '.' ? QStringList{user("other.pvx")} : QStringList{});
        EXPECT_EQ(run.exitCode, 0) << name << ": " << run.errors.toStdString();
        EXPECT_TRUE(QFileInfo(home(c.link)).isSymLink()) << name;
        EXPECT_EQ(readFile(user("target")) != c.target, c.followed) << name << ": " << readFile(user("target")).constData();
        EXPECT_TRUE(!c.said || run.errors.contains(home(c.said))) << name << ": " << run.errors.toStdString();
    }
}
