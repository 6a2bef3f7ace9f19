#include "platform/linux/threaded_trace_file.h"
#include "platform/linux/posix_trace_file_opener.h"
#include "platform/linux/trace_log_file.h"

#include "support/wait_until.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <condition_variable>
#include <csignal>
#include <mutex>

#include <sys/resource.h>
#include <sys/stat.h>

using pvx::platform::ErrorCode;
using pvx::platform::ThreadedTraceFile;
using pvx::platform::TraceFile;
using pvx::platform::TraceFileOpener;
using pvx::platform::TraceLogFile;

namespace {

QByteArray gapLine(qint64 bytes, qint64 records)
{
    return "GAP " + QByteArray::number(bytes) + ' ' + QByteArray::number(records) + '\n';
}

TraceFile::Text line(const char *text)
{
    return [text] { return QByteArray(text) + '\n'; };
}

/// A disk the test holds up or makes fail; it keeps what it was given.
/// It outlives the writer, which owns only a SlowSink that leads to it.
class Disk {
public:
    pvx::platform::Result<void> write(const QByteArray &bytes)
    {
        std::unique_lock lock(m_mutex);
        ++m_attempts;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
        if (m_failing)
            return pvx::platform::makeError(ErrorCode::IoError, QStringLiteral("trace: No space left on device"));
        m_written += bytes;
        m_changed.notify_all();
        return {};
    }
    void setOpen(bool open, bool failing = false)
    {
        const std::lock_guard lock(m_mutex);
        m_open = open;
        m_failing = failing;
        m_changed.notify_all();
    }
    void waitFor(const std::function<bool(int attempts, const QByteArray &written)> &done)
    {
        std::unique_lock lock(m_mutex);
        ASSERT_TRUE(m_changed.wait_for(lock, std::chrono::seconds(5), [&] { return done(m_attempts, m_written); }));
    }
    QByteArray written()
    {
        const std::lock_guard lock(m_mutex);
        return m_written;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = true;
    bool m_failing = false;
    int m_attempts = 0;
    QByteArray m_written;
};

class SlowSink : public pvx::platform::TraceSink {
public:
    explicit SlowSink(std::shared_ptr<Disk> disk) : m_disk(std::move(disk)) {}
    pvx::platform::Result<void> write(const QByteArray &bytes) override { return m_disk->write(bytes); }
    pvx::platform::Result<void> moveAsideWhenFull() override { return {}; }

private:
    std::shared_ptr<Disk> m_disk;
};

struct Writer {
    explicit Writer(qint64 queueLimit = ThreadedTraceFile::kQueueLimit)
        : file(std::make_unique<ThreadedTraceFile>(
              std::make_unique<SlowSink>(sink),
              TraceFileOpener::Events{gapLine, [this](const QString &message) { warnings.append(message); }},
              queueLimit))
    {
    }
    std::shared_ptr<Disk> sink = std::make_shared<Disk>();
    QStringList warnings;
    std::unique_ptr<ThreadedTraceFile> file;
};

} // namespace

TEST(ThreadedTraceFile, DropsWholeRecordsWhileBehindAndSaysSoWhenItCatchesUp)
{
    // Room for three records of 10 bytes behind the one being written.
    Writer w(3 * (10 + ThreadedTraceFile::kRecordCost));
    w.sink->setOpen(false);
    w.file->offer(line("r0"), 10);
    w.sink->waitFor([](int attempts, const QByteArray &) { return attempts == 1; });
    for (const char *record : {"r1", "r2", "r3", "r4", "r5", "r6"})
        w.file->offer(line(record), 10);
    w.sink->setOpen(true);
    w.sink->waitFor([](int, const QByteArray &written) { return written.endsWith("r3\n"); });
    w.file->offer(line("r7"), 10);
    w.file->offer(line("r8"), 10);
    w.file.reset();
    EXPECT_EQ(w.sink->written(), QByteArray("r0\nr1\nr2\nr3\nGAP 30 3\nr7\nr8\n"));
}

TEST(ThreadedTraceFile, WritesEveryRecordInOrderWhileItKeepsUp)
{
    Writer w;
    QByteArray expected;
    for (int i = 0; i < 20000; ++i) {
        const QByteArray text = QByteArray::number(i) + '\n';
        w.file->offer([text] { return text; }, 1);
        expected += text;
    }
    w.file.reset();
    EXPECT_EQ(w.sink->written(), expected);
}

TEST(ThreadedTraceFile, CountsWhatTheDiskRefusedAndWarnsOncePerSpell)
{
    Writer w;
    w.sink->setOpen(true, true);
    w.file->offer(line("lost1"), 5);
    w.sink->waitFor([](int attempts, const QByteArray &) { return attempts == 1; });
    w.file->offer(line("lost2"), 7);
    w.sink->waitFor([](int attempts, const QByteArray &) { return attempts == 2; });
    ASSERT_TRUE(waitUntil([&] { return !w.warnings.isEmpty(); }));
    w.sink->setOpen(true, false);
    w.file->offer(line("kept"), 4);
    w.file.reset();
    EXPECT_EQ(w.sink->written(), QByteArray("GAP 12 2\nkept\n"));
    EXPECT_EQ(w.warnings, QStringList{QStringLiteral("the trace is not written: trace: No space left on device")});
}

TEST(ThreadedTraceFile, GivesUpOnADiskThatHangsAfterAboutASecond)
{
    Writer w;
    w.sink->setOpen(false);
    w.file->offer(line("stuck"), 5);
    w.sink->waitFor([](int attempts, const QByteArray &) { return attempts == 1; });
    const auto start = std::chrono::steady_clock::now();
    w.file.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    w.sink->setOpen(true);  // the writer ends by itself once the disk answers
}

namespace {

class TraceLogFileTest : public ::testing::Test {
protected:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString folder(const char *name, QFile::Permissions mode, bool sticky = false) const
    {
        const QString made = path(QLatin1String(name));
        EXPECT_TRUE(QDir().mkdir(made));
        EXPECT_TRUE(QFile::setPermissions(made, mode));
        if (sticky)
            ::chmod(QFile::encodeName(made).constData(), 01777);
        return made;
    }
    static mode_t modeOf(const QString &file)
    {
        struct stat info {};
        EXPECT_EQ(::lstat(QFile::encodeName(file).constData(), &info), 0);
        return info.st_mode & 07777;
    }

    QTemporaryDir m_dir;
};

constexpr auto kEveryone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                           | QFile::WriteOther | QFile::ExeOther;

} // namespace

TEST_F(TraceLogFileTest, RefusesPathsWhereAnotherCouldTakeTheFile)
{
    QFile(path(QStringLiteral("target"))).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(path(QStringLiteral("target")), path(QStringLiteral("planted"))));
    const QString open = folder("open", kEveryone);
    const QString sticky = folder("sticky", kEveryone, true);
    const struct {
        QString path;
        std::optional<ErrorCode> refusal;
    } cases[] = {
        {path(QStringLiteral("missing/trace.txt")), ErrorCode::NotFound},
        {open + QStringLiteral("/trace.txt"), ErrorCode::AccessDenied},
        {path(QStringLiteral("planted")), ErrorCode::AccessDenied},
        {m_dir.path(), ErrorCode::InvalidArgument},
        {sticky + QStringLiteral("/trace.txt"), std::nullopt},
        {path(QStringLiteral("trace.txt")), std::nullopt},
    };
    for (const auto &c : cases) {
        const auto opened = TraceLogFile::open(c.path);
        ASSERT_EQ(opened.ok(), !c.refusal) << c.path.toStdString();
        if (c.refusal) {
            EXPECT_EQ(opened.error().code, *c.refusal) << c.path.toStdString();
            EXPECT_TRUE(opened.error().detail.startsWith(QFileInfo(c.path).path())) << c.path.toStdString();
        } else {
            EXPECT_EQ(modeOf(c.path), 0600u);
        }
    }
    EXPECT_EQ(QFileInfo(path(QStringLiteral("target"))).size(), 0) << "nothing through the link";
}

TEST_F(TraceLogFileTest, AppendsAndMovesAsidePastItsLimit)
{
    const QString file = path(QStringLiteral("trace.txt"));
    QFile old(file);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("kept\n");
    old.close();
    auto opened = TraceLogFile::open(file, 16);
    ASSERT_TRUE(opened.ok());
    TraceLogFile &trace = **opened;
    ASSERT_TRUE(trace.write("0123456789\n").ok());
    ASSERT_TRUE(trace.moveAsideWhenFull().ok());
    EXPECT_FALSE(QFile::exists(file + QStringLiteral(".1"))) << "16 bytes are not past the limit";
    ASSERT_TRUE(trace.write("x").ok());
    ASSERT_TRUE(trace.moveAsideWhenFull().ok());
    ASSERT_TRUE(trace.write("new\n").ok());
    QFile older(file + QStringLiteral(".1"));
    QFile newer(file);
    ASSERT_TRUE(older.open(QIODevice::ReadOnly) && newer.open(QIODevice::ReadOnly));
    EXPECT_EQ(older.readAll(), QByteArray("kept\n0123456789\nx"));
    EXPECT_EQ(newer.readAll(), QByteArray("new\n"));
    EXPECT_EQ(modeOf(file), 0600u);
}

TEST_F(TraceLogFileTest, AFullDiskIsAWarningAndAGapOnceItHasRoomAgain)
{
    const QString file = path(QStringLiteral("trace.txt"));
    QStringList warnings;
    pvx::platform::PosixTraceFileOpener opener;
    auto opened = opener.open(file, {gapLine, [&](const QString &message) { warnings.append(message); }});
    ASSERT_TRUE(opened.ok());
    std::unique_ptr<TraceFile> trace = std::move(*opened);

    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 0;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    trace->offer(line("lost"), 4);
    const bool warned = waitUntil([&] { return !warnings.isEmpty(); });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    ASSERT_TRUE(warned);
    EXPECT_TRUE(warnings.front().contains(file)) << warnings.front().toStdString();
    trace->offer(line("kept"), 4);
    trace.reset();
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("GAP 4 1\nkept\n"));
}
