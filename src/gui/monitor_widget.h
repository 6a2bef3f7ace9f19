#pragma once

#include "session/monitor_window.h"

#include <QWidget>

#include <deque>
#include <memory>

class QPlainTextEdit;

namespace pvx::gui {

/// The monitor window of one session: the live trace in a read-only text
/// area (serial to network in blue, network to serial in green, events in
/// grey), the hex / text choice, Pause, Clear, Save... and the skipped
/// count. A top-level window that deletes itself when closed; the model it
/// owns stops watching the trace with it.
class MonitorWidget : public QWidget {
    Q_OBJECT
public:
    /// `parent` is the session's view: the window goes when it goes.
    MonitorWidget(std::unique_ptr<session::MonitorWindow> model, QWidget *parent);
    ~MonitorWidget() override;

    session::MonitorWindow &model() { return *m_model; }

private:
    void showAll();
    void move(int dropped, int added);
    /// Appends records from position `first` on, in the style chosen.
    void append(std::size_t first);

    std::unique_ptr<session::MonitorWindow> m_model;
    QPlainTextEdit *m_text;
    /// The lines each shown record takes, oldest first.
    std::deque<int> m_lines;
};

} // namespace pvx::gui
