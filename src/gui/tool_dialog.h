#pragma once

#include <QDialog>

namespace pvx::tools {
class PingForm;
class ResolveForm;
class ToolWindow;
}

namespace pvx::gui {

/// A modal dialog that shows a tool window: its caption follows the model,
/// it closes when the model unloads, closing it any other way (Esc, the
/// close box) unloads the model at once, and the pointer is busy while the
/// model waits for an answer.
class ToolDialog : public QDialog {
    Q_OBJECT
public:
    ToolDialog(tools::ToolWindow &window, QWidget *parent);

    void reject() override;

private:
    tools::ToolWindow &m_window;
};

/// The view of the ping tool: address and data, Ping and Cancel, and the
/// five read-only result fields in a frame.
class PingDialog : public ToolDialog {
    Q_OBJECT
public:
    explicit PingDialog(tools::PingForm &form, QWidget *parent = nullptr);
};

/// The view of the resolver: host name, the read-only address, and the
/// Resolve, Help and Cancel buttons.
class ResolveDialog : public ToolDialog {
    Q_OBJECT
public:
    explicit ResolveDialog(tools::ResolveForm &form, QWidget *parent = nullptr);
};

} // namespace pvx::gui
