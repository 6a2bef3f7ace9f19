// The virtual port's link and lock file in the virtual-port folder: what
// create and remove leave behind, and what they refuse to touch.
#include "platform/linux/inotify_watcher.h"
#include "platform/linux/pty_virtual_port.h"
#include "support/wait_until.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <optional>

namespace pvx::platform {
namespace {

mode_t modeOf(const QString &path)
{
    struct stat status{};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0) << path.toStdString();
    return status.st_mode;
}

/// Runs the rest of a scope as another user, so that file modes hold even
/// when the tests run as root.
class EffectiveUser {
public:
    explicit EffectiveUser(uid_t user) : m_before(::geteuid()) { m_ok = ::seteuid(user) == 0; }
    ~EffectiveUser()
    {
        if (m_ok)
            static_cast<void>(::seteuid(m_before));
    }
    EffectiveUser(const EffectiveUser &) = delete;
    EffectiveUser &operator=(const EffectiveUser &) = delete;
    bool ok() const { return m_ok; }

private:
    uid_t m_before;
    bool m_ok = false;
};

class PtyPortFolder : public ::testing::Test {
protected:
    QString folder() const { return m_root.path() + QStringLiteral("/run/ports"); }
    QString inFolder(const char *name) const { return folder() + QLatin1Char('/') + QLatin1String(name); }

    // Leaves behind what a killed program leaves: a link and a lock file
    // whose lock nobody holds.
    void makeStaleLink(const char *name) const
    {
        QDir().mkpath(folder());
        ASSERT_TRUE(QFile::link(QStringLiteral("/dev/pts/999999"), inFolder(name)));
        QFile lock(inFolder(name) + QStringLiteral(".lock"));
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    }

    QTemporaryDir m_root;
    InotifyWatcher m_watcher;
    PtyVirtualPort m_port{m_watcher, [this] { return folder(); }};
};

TEST_F(PtyPortFolder, CreateMakesRawTerminalLinkAndLockThatRemoveTakesAway)
{
    // The folder keeps its mode whatever the umask.
    const mode_t oldMask = ::umask(077);
    const auto created = m_port.create(QStringLiteral("COM5"));
    ::umask(oldMask);
    ASSERT_TRUE(created.ok()) << created.error().detail.toStdString();

    const QString link = inFolder("COM5");
    EXPECT_TRUE(m_port.exists());
    EXPECT_EQ(m_port.devicePath(), link);
    EXPECT_EQ(modeOf(folder()) & 07777, 0755u);
    EXPECT_EQ(modeOf(m_root.path() + QStringLiteral("/run")) & 07777, 0755u);
    ASSERT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo(link).symLinkTarget().startsWith(QStringLiteral("/dev/pts/")));
    EXPECT_TRUE(QFileInfo::exists(link + QStringLiteral(".lock")));

    const mode_t slaveMode = modeOf(link);
    EXPECT_TRUE(S_ISCHR(slaveMode));
    const group *dialout = ::getgrnam("dialout");
    if (::geteuid() == 0 && dialout != nullptr) {
        struct stat status{};
        ASSERT_EQ(::stat(QFile::encodeName(link).constData(), &status), 0);
        EXPECT_EQ(status.st_gid, dialout->gr_gid);
        EXPECT_EQ(slaveMode & 0777, 0660u);
    } else {
        EXPECT_EQ(slaveMode & 0777, 0600u);
    }

    const int device = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(device, 0);
    EXPECT_TRUE(::isatty(device));
    ::close(device);

    EXPECT_TRUE(m_port.remove().ok());
    EXPECT_FALSE(m_port.exists());
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(link + QStringLiteral(".lock")));
    EXPECT_TRUE(m_port.remove().ok());
}

TEST_F(PtyPortFolder, NameHeldByALivePortIsRefusedUntilItIsRemoved)
{
    ASSERT_TRUE(m_port.create(QStringLiteral("COM5")).ok());
    PtyVirtualPort second(m_watcher, [this] { return folder(); });

    const auto refused = second.create(QStringLiteral("COM5"));
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().code, ErrorCode::Busy);
    EXPECT_TRUE(refused.error().detail.contains(inFolder("COM5"))) << refused.error().detail.toStdString();
    EXPECT_TRUE(QFileInfo(inFolder("COM5")).isSymLink());

    ASSERT_TRUE(m_port.remove().ok());
    EXPECT_TRUE(second.create(QStringLiteral("COM5")).ok());
}

TEST_F(PtyPortFolder, StaleLinkIsReplaced)
{
    makeStaleLink("COM7");
    const auto created = m_port.create(QStringLiteral("COM7"));
    ASSERT_TRUE(created.ok()) << created.error().detail.toStdString();
    const QString target = QFileInfo(inFolder("COM7")).symLinkTarget();
    EXPECT_NE(target, QStringLiteral("/dev/pts/999999"));
    EXPECT_TRUE(QFileInfo::exists(target));
}

TEST_F(PtyPortFolder, ForeignFileOfThePortNameIsRefusedAndKept)
{
    struct Case {
        const char *what;
        std::function<void(const QString &path)> make;
    };
    const Case cases[] = {
        {"regular file", [](const QString &path) {
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             file.write("mine");
         }},
        {"folder", [](const QString &path) { ASSERT_TRUE(QDir().mkdir(path)); }},
        {"link without lock file", [](const QString &path) {
             ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), path));
         }},
        {"link whose lock file is a folder", [](const QString &path) {
             ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), path));
             ASSERT_TRUE(QDir().mkdir(path + QStringLiteral(".lock")));
         }},
    };
    QDir().mkpath(folder());
    int number = 1;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString name = QStringLiteral("COM%1").arg(number++);
        const QString path = folder() + QLatin1Char('/') + name;
        c.make(path);
        const QFileInfo before(path);

        const auto refused = m_port.create(name);
        ASSERT_FALSE(refused.ok());
        EXPECT_TRUE(refused.error().detail.contains(path)) << refused.error().detail.toStdString();
        EXPECT_FALSE(m_port.exists());

        const QFileInfo after(path);
        EXPECT_EQ(after.isSymLink(), before.isSymLink());
        EXPECT_EQ(after.isDir(), before.isDir());
        EXPECT_EQ(after.size(), before.size());
    }
}

TEST_F(PtyPortFolder, UnsafeFolderIsRefused)
{
    const QString real = m_root.path() + QStringLiteral("/real");
    ASSERT_TRUE(QDir().mkpath(real));
    ASSERT_TRUE(QDir().mkpath(m_root.path() + QStringLiteral("/run")));
    ASSERT_TRUE(QFile::link(real, folder()));

    const auto viaLink = m_port.create(QStringLiteral("COM1"));
    ASSERT_FALSE(viaLink.ok());
    EXPECT_TRUE(viaLink.error().detail.contains(QStringLiteral("symbolic link"))) << viaLink.error().detail.toStdString();
    EXPECT_TRUE(QDir(real).isEmpty());

    if (::geteuid() != 0)
        return; // only root can hand a folder to another user
    ASSERT_TRUE(QFile::remove(folder()));
    ASSERT_TRUE(QDir().mkpath(folder()));
    ASSERT_EQ(::chown(QFile::encodeName(folder()).constData(), 65534, 65534), 0);
    const auto foreign = m_port.create(QStringLiteral("COM1"));
    ASSERT_FALSE(foreign.ok());
    EXPECT_TRUE(foreign.error().detail.contains(QStringLiteral("another user"))) << foreign.error().detail.toStdString();
    EXPECT_TRUE(QDir(folder()).isEmpty());
}

TEST_F(PtyPortFolder, FolderOthersMayWriteIntoIsRefusedNamingItsMode)
{
    const struct {
        mode_t mode;
        const char *shown;  // null: accepted
    } cases[] = {{0777, "0777"}, {01777, "1777"}, {0775, "0775"}, {0757, "0757"}, {0755, nullptr}, {0700, nullptr}};
    ASSERT_TRUE(QDir().mkpath(folder()));
    for (const auto &c : cases) {
        ASSERT_EQ(::chmod(QFile::encodeName(folder()).constData(), c.mode), 0);
        const auto created = m_port.create(QStringLiteral("COM1"));
        if (c.shown == nullptr) {
            EXPECT_TRUE(created.ok()) << c.mode;
            EXPECT_TRUE(m_port.remove().ok());
            continue;
        }
        ASSERT_FALSE(created.ok()) << c.mode;
        EXPECT_EQ(created.error().detail, QStringLiteral("The virtual port folder %1 is writable by group or others (mode %2)")
                                              .arg(folder(), QLatin1String(c.shown)));
        EXPECT_TRUE(QDir(folder()).isEmpty());
    }
}

TEST_F(PtyPortFolder, PortKeepsWorkingWhileItsLinkCannotBeRemoved)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    std::optional<EffectiveUser> user;
    if (::geteuid() == 0) {
        // Root may unlink in any folder: the port belongs to nobody here.
        for (const QString &path : {m_root.path(), m_root.path() + QStringLiteral("/run")})
            ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0755), 0);
        ASSERT_EQ(::chown(QFile::encodeName(folder()).constData(), 65534, 65534), 0);
        user.emplace(65534);
        ASSERT_TRUE(user->ok());
    }
    ASSERT_TRUE(m_port.create(QStringLiteral("COM5")).ok());
    const QByteArray folderPath = QFile::encodeName(folder());
    ASSERT_EQ(::chmod(folderPath.constData(), 0555), 0);

    const auto refused = m_port.remove();
    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error().detail.contains(inFolder("COM5"))) << refused.error().detail.toStdString();
    EXPECT_TRUE(m_port.exists());
    EXPECT_TRUE(QFileInfo(inFolder("COM5")).isSymLink());

    const int device = ::open(QFile::encodeName(inFolder("COM5")).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(device, 0);
    EXPECT_EQ(m_port.write(QByteArrayLiteral("ping")), 4);
    char got[8] = {};
    EXPECT_TRUE(waitUntil([&] { return ::read(device, got, sizeof got) == 4; }));
    EXPECT_EQ(QByteArray(got, 4), QByteArrayLiteral("ping"));
    ASSERT_EQ(::write(device, "pong", 4), 4);
    EXPECT_TRUE(waitUntil([&] { return m_port.bytesAvailable() == 4; }));
    EXPECT_EQ(m_port.read(4), QByteArrayLiteral("pong"));
    ::close(device);

    ASSERT_EQ(::chmod(folderPath.constData(), 0755), 0);
    EXPECT_TRUE(m_port.remove().ok());
    EXPECT_FALSE(m_port.exists());
    EXPECT_FALSE(QFileInfo(inFolder("COM5")).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(inFolder("COM5.lock")));
}

TEST_F(PtyPortFolder, NameThatIsNotAPlainFileNameIsRefused)
{
    for (const QString &name : {QString(), QStringLiteral("a/b"), QStringLiteral("..")}) {
        const auto refused = m_port.create(name);
        ASSERT_FALSE(refused.ok()) << name.toStdString();
        EXPECT_EQ(refused.error().code, ErrorCode::InvalidArgument);
    }
}

TEST_F(PtyPortFolder, ResetBusRemovesOnlyStaleLinks)
{
    ASSERT_TRUE(m_port.create(QStringLiteral("COM1")).ok());
    PtyVirtualPort other(m_watcher, [this] { return folder(); });
    ASSERT_TRUE(other.create(QStringLiteral("COM2")).ok());
    makeStaleLink("COM3");
    makeStaleLink("COM4");
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), inFolder("COM5")));
    QFile plain(inFolder("COM6"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    // A lock held by some other program, as a live port elsewhere has it.
    const int held = ::open(QFile::encodeName(inFolder("COM4.lock")).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);

    PtyVirtualPort(m_watcher, [this] { return folder(); }).resetBus();
    ::close(held);

    EXPECT_FALSE(QFileInfo(inFolder("COM3")).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(inFolder("COM3.lock")));
    for (const char *kept : {"COM1", "COM1.lock", "COM2", "COM2.lock", "COM4", "COM4.lock", "COM5", "COM6"})
        EXPECT_TRUE(QFileInfo(inFolder(kept)).isSymLink() || QFileInfo::exists(inFolder(kept))) << kept;
}

} // namespace
} // namespace pvx::platform
