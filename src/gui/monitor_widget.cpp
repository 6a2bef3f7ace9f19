#include "gui/monitor_widget.h"

#include "gui/bound_widgets.h"
#include "session/trace_format.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include <numeric>

namespace pvx::gui {

namespace {

using Kind = session::TraceRecord::Kind;

QTextCharFormat formatFor(Kind kind)
{
    QTextCharFormat format;
    switch (kind) {
    case Kind::ToNetwork:
        format.setForeground(QColor(0x1f, 0x4f, 0xc8));
        break;
    case Kind::ToSerial:
        format.setForeground(QColor(0x1a, 0x7f, 0x37));
        break;
    case Kind::Event:
        format.setForeground(QColor(0x70, 0x70, 0x70));
        break;
    }
    return format;
}

} // namespace

MonitorWidget::MonitorWidget(std::unique_ptr<session::MonitorWindow> model, QWidget *parent)
    : QWidget(parent, Qt::Window), m_model(std::move(model)), m_text(new QPlainTextEdit(this))
{
    auto &w = *m_model;
    setObjectName(w.name());
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(w.caption());
    connect(&w, &core::Form::changed, this, [this] { setWindowTitle(m_model->caption()); });

    m_text->setObjectName(QStringLiteral("traceText"));
    m_text->setReadOnly(true);
    m_text->setUndoRedoEnabled(false);
    // Hex lines line up only unwrapped and in a fixed-width font.
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const int hexLineWidth = m_text->fontMetrics().horizontalAdvance(QString(82, QLatin1Char('0')));
    m_text->setMinimumWidth(hexLineWidth / 2);
    resize(hexLineWidth + 60, 420);

    auto *controls = new QHBoxLayout;
    controls->addWidget(boundRadioButton(this, w.hexOption));
    controls->addWidget(boundRadioButton(this, w.textOption));
    controls->addWidget(boundCheckBox(this, w.pauseBox));
    controls->addStretch(1);
    controls->addWidget(boundLabel(this, w.skippedLabel));
    controls->addWidget(boundPushButton(this, w.clearButton));
    controls->addWidget(boundPushButton(this, w.saveButton));

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_text, 1);

    connect(&w, &session::MonitorWindow::recordsMoved, this, &MonitorWidget::move);
    connect(&w, &session::MonitorWindow::recordsReset, this, &MonitorWidget::showAll);
}

MonitorWidget::~MonitorWidget() = default;

void MonitorWidget::showAll()
{
    m_text->clear();
    m_lines.clear();
    append(0);
}

void MonitorWidget::move(int dropped, int added)
{
    QScrollBar *scroll = m_text->verticalScrollBar();
    const bool following = scroll->value() == scroll->maximum();
    QTextCursor cursor(m_text->document());
    cursor.beginEditBlock();
    if (dropped > 0) {
        const auto end = m_lines.begin() + dropped;
        const int lines = std::accumulate(m_lines.begin(), end, 0);
        m_lines.erase(m_lines.begin(), end);
        // The records that stay begin on the block after the dropped lines.
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, lines);
        cursor.removeSelectedText();
    }
    append(m_model->records().size() - static_cast<std::size_t>(added));
    cursor.endEditBlock();
    if (following)
        scroll->setValue(scroll->maximum());
}

void MonitorWidget::append(std::size_t first)
{
    const auto &records = m_model->records();
    if (first >= records.size())
        return;
    QTextCursor cursor(m_text->document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    for (std::size_t i = first; i < records.size(); ++i) {
        QString text = QString::fromUtf8(session::formatTraceRecord(records[i], m_model->style()));
        // Each record fills whole blocks: the newline between two records
        // is a block boundary.
        if (text.endsWith(QLatin1Char('\n')))
            text.chop(1);
        if (!m_lines.empty())
            cursor.insertBlock();
        cursor.insertText(text, formatFor(records[i].kind));
        m_lines.push_back(static_cast<int>(text.count(QLatin1Char('\n'))) + 1);
    }
    cursor.endEditBlock();
}

} // namespace pvx::gui
