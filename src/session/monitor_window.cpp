#include "session/monitor_window.h"

#include "platform/dialogs.h"
#include "platform/file_store.h"
#include "platform/timer.h"
#include "resources/form_strings.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"
#include "session/trace_hub.h"

namespace pvx::session {

using core::ControlKind;
using core::controlName;
using resources::StringId;

MonitorWindow::MonitorWindow(TraceHub &trace, const QString &sessionName, Services services)
    : Form(controlName("frmMonitor")),
      hexOption(ControlKind::OptionButton, controlName("hexOption")),
      textOption(ControlKind::OptionButton, controlName("textOption")),
      pauseBox(ControlKind::CheckBox, controlName("pauseBox")),
      clearButton(ControlKind::Button, controlName("clearButton")),
      saveButton(ControlKind::Button, controlName("saveButton")),
      skippedLabel(ControlKind::Label, controlName("skippedLabel")),
      m_services(services),
      m_trace(trace),
      m_batchTimer(services.timers.create())
{
    registerControls();
    resources::applyFormStrings(*this, m_services.strings);
    setSessionName(sessionName);

    m_watch = m_trace.watch([this](const TraceRecord &record) { onRecord(record); }, true);
    m_batchTimer->setInterval(kBatchIntervalMs);
    m_batchTimer->setTimeout([this] { takeBatch(); });
    m_batchTimer->start();
}

MonitorWindow::~MonitorWindow()
{
    m_trace.unwatch(m_watch);
}

void MonitorWindow::setSessionName(const QString &name)
{
    setCaption(m_services.strings.text(StringId::MonitorCaption).arg(name));
}

void MonitorWindow::registerControls()
{
    const std::pair<core::Control *, int> tagged[] = {
        {&hexOption, 5202},   {&textOption, 5203}, {&pauseBox, 5204},
        {&clearButton, 5205}, {&saveButton, 5206},
    };
    for (const auto &[control, id] : tagged) {
        control->setTag(QString::number(id));
        addControl(*control);
    }
    addControl(skippedLabel);
    hexOption.setGroup({&hexOption, &textOption});
    textOption.setGroup({&hexOption, &textOption});
    hexOption.setValue(1);

    // Either option's click changes the style; the clearing of the other
    // one raises nothing.
    hexOption.onClick = [this] { emit recordsReset(); };
    textOption.onClick = [this] { emit recordsReset(); };
    // What was queued before the pause is still shown; what comes after is
    // skipped.
    pauseBox.onClick = [this] {
        if (isPaused())
            takeBatch();
    };
    clearButton.onClick = [this] { clear(); };
    saveButton.onClick = [this] { save(); };
}

void MonitorWindow::onRecord(const TraceRecord &record)
{
    // Called from the data path: queue or count, nothing more.
    const bool full = !m_queue.empty()
                      && (m_queue.size() >= kBatchRecords || m_queueBytes + record.bytes.size() > kBatchBytes);
    if (isPaused() || full) {
        ++m_skipped;
        return;
    }
    m_queue.push_back(record);
    m_queueBytes += record.bytes.size();
}

void MonitorWindow::takeBatch()
{
    showSkipped();
    if (m_queue.empty())
        return;
    const auto before = static_cast<qint64>(m_records.size());
    const auto added = static_cast<qint64>(m_queue.size());
    for (TraceRecord &record : m_queue) {
        m_recordBytes += record.bytes.size();
        m_records.push_back(std::move(record));
    }
    m_queue.clear();
    m_queueBytes = 0;

    qint64 dropped = 0;
    while (m_records.size() > kShownRecords || (m_recordBytes > kShownBytes && m_records.size() > 1)) {
        m_recordBytes -= m_records.front().bytes.size();
        m_records.pop_front();
        ++dropped;
    }
    // Past what was shown the whole view is replaced: the batch alone
    // overflowed the scroll-back.
    if (dropped > 0 && dropped >= before)
        emit recordsReset();
    else
        emit recordsMoved(static_cast<int>(dropped), static_cast<int>(added));
}

void MonitorWindow::clear()
{
    m_records.clear();
    m_recordBytes = 0;
    m_queue.clear();
    m_queueBytes = 0;
    m_skipped = 0;
    showSkipped();
    emit recordsReset();
}

void MonitorWindow::save()
{
    const auto &strings = m_services.strings;
    platform::FileDialogOptions options;
    options.title = strings.text(StringId::SaveTraceTitle);
    options.filter = strings.text(StringId::TraceFileFilter);
    options.defaultExtension = QStringLiteral("txt");
    const QString path = m_services.dialogs.saveFileName(options);
    if (path.isEmpty())
        return;
    QByteArray text;
    for (const TraceRecord &record : m_records)
        text += formatTraceRecord(record, style());
    const auto written = m_services.files.writeAtomically(path, text);
    if (!written) {
        m_services.dialogs.messageBox(strings.text(StringId::TraceNotSaved).arg(written.error().detail),
                                      strings.text(StringId::Error), platform::MessageButtons::Ok,
                                      platform::MessageIcon::Critical);
    }
}

void MonitorWindow::showSkipped()
{
    const QString text =
        m_skipped > 0 ? m_services.strings.text(StringId::EventsSkipped).arg(m_skipped) : QString();
    if (skippedLabel.caption() != text)
        skippedLabel.setCaption(text);
}

} // namespace pvx::session
