#include "gui/monitor_widget.h"

#include "fakes/fake_file_store.h"
#include "support/session_fixture.h"
#include "support/text.h"
#include "support/widget_lookup.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

using pvx::session::MonitorWindow;
using pvx::session::TraceRecord;
using pvx::session::TraceStyle;
using pvx::testing::child;
using pvx::testing::s;

namespace {

/// A session's monitor window over fakes; its batch timer fires when told.
struct MonitorFixture : pvx::testing::SessionFixture {
    MonitorFixture()
    {
        view = new pvx::gui::MonitorWidget(
            std::make_unique<MonitorWindow>(session->trace(), s("COM7"),
                                            MonitorWindow::Services{strings, dialogs, files, monitorTimers}),
            &owner);
        view->show();
    }
    MonitorWindow &model() { return view->model(); }
    void toNetwork(const QByteArray &bytes) { session->trace().data(TraceRecord::Kind::ToNetwork, bytes, s("127.0.0.1:4001")); }
    void batch() { monitorTimers.newest(MonitorWindow::kBatchIntervalMs).fire(); }
    QString shown() { return child<QPlainTextEdit>(*view, "traceText").toPlainText(); }
    /// The scroll-back as the given style writes it, without the last newline.
    QString expected(TraceStyle style)
    {
        QByteArray text;
        for (const TraceRecord &record : model().records())
            text += pvx::session::formatTraceRecord(record, style);
        text.chop(1);
        return QString::fromUtf8(text);
    }
    QString skippedText() { return child<QLabel>(*view, "skippedLabel").text(); }

    pvx::fakes::FakeFileStore files;
    pvx::fakes::FakeTimerFactory monitorTimers;
    QWidget owner;
    QPointer<pvx::gui::MonitorWidget> view;
};

} // namespace

TEST(MonitorWidget, ShowsEachBatchAndKeepsTheNewestWithinTheBound)
{
    MonitorFixture f;
    f.session->trace().event(s("client connected"), s("127.0.0.1:4001"));
    f.toNetwork("hello");
    f.session->trace().data(TraceRecord::Kind::ToSerial, "AT\r", s("127.0.0.1:4001"));
    EXPECT_TRUE(f.shown().isEmpty()) << "nothing before the batch";
    f.batch();
    ASSERT_EQ(f.model().records().size(), 3U);
    EXPECT_EQ(f.shown(), f.expected(TraceStyle::Hex));

    // More than a batch takes is skipped and counted; the scroll-back keeps
    // the newest records, and the view drops the same ones it does.
    const std::size_t batches = MonitorWindow::kShownRecords / MonitorWindow::kBatchRecords + 1;
    for (std::size_t b = 0; b < batches; ++b) {
        for (std::size_t i = 0; i < MonitorWindow::kBatchRecords + 2; ++i)
            f.toNetwork(QByteArray::number(static_cast<qulonglong>(b * 10000 + i)));
        f.batch();
    }
    EXPECT_EQ(f.model().records().size(), MonitorWindow::kShownRecords);
    EXPECT_EQ(f.model().records().back().bytes, QByteArray::number(static_cast<qulonglong>((batches - 1) * 10000 + MonitorWindow::kBatchRecords - 1)));
    EXPECT_EQ(f.model().skipped(), static_cast<qint64>(2 * batches));
    EXPECT_EQ(f.skippedText(), s("%1 events skipped").arg(2 * batches));
    EXPECT_EQ(f.shown(), f.expected(TraceStyle::Hex));

    // The bytes are bounded too: big records push the small ones out.
    const QByteArray big(MonitorWindow::kBatchBytes, 'x');
    for (qint64 i = 0; i < MonitorWindow::kShownBytes / big.size() + 4; ++i) {
        f.toNetwork(big);
        f.batch();
    }
    EXPECT_EQ(f.model().records().size(), static_cast<std::size_t>(MonitorWindow::kShownBytes / big.size()));
    EXPECT_EQ(f.shown(), f.expected(TraceStyle::Hex));
}

TEST(MonitorWidget, PauseSkipsClearEmptiesAndTheStyleRedrawsAll)
{
    MonitorFixture f;
    f.toNetwork("one\x01");
    child<QCheckBox>(*f.view, "pauseBox").click();
    EXPECT_EQ(f.model().records().size(), 1U) << "what came before the pause is shown";
    f.toNetwork("two");
    f.batch();
    EXPECT_EQ(f.model().records().size(), 1U);
    EXPECT_EQ(f.skippedText(), s("1 events skipped"));
    child<QCheckBox>(*f.view, "pauseBox").click();
    f.toNetwork("three");
    f.batch();
    EXPECT_EQ(f.model().records().size(), 2U);

    child<QRadioButton>(*f.view, "textOption").click();
    EXPECT_EQ(f.model().style(), TraceStyle::Text);
    EXPECT_EQ(f.shown(), f.expected(TraceStyle::Text));
    EXPECT_TRUE(f.shown().contains(s("one\\x01")));

    // Save writes what is shown, in the style shown; a failure says why.
    f.dialogs.nextFileName = s("/tmp/trace.txt");
    child<QPushButton>(*f.view, "saveButton").click();
    EXPECT_EQ(QString::fromUtf8(f.files.files.value(s("/tmp/trace.txt"))), f.expected(TraceStyle::Text) + QLatin1Char('\n'));
    f.files.failing.insert(s("/tmp/trace.txt"));
    child<QPushButton>(*f.view, "saveButton").click();
    ASSERT_EQ(f.dialogs.messages.size(), 1);
    EXPECT_TRUE(f.dialogs.messages[0].text.startsWith(s("The trace was not saved: ")));

    child<QPushButton>(*f.view, "clearButton").click();
    EXPECT_TRUE(f.model().records().empty());
    EXPECT_TRUE(f.shown().isEmpty());
    EXPECT_TRUE(f.skippedText().isEmpty());
}

TEST(MonitorWidget, ClosingTheWindowStopsWatching)
{
    MonitorFixture f;
    EXPECT_TRUE(f.session->trace().watched());
    f.view->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(f.view.isNull());
    EXPECT_FALSE(f.session->trace().watched());
}
