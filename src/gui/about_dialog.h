#pragma once

#include "gui/form_dialog.h"

class QLabel;

namespace pvx::about {
class AboutForm;
}

namespace pvx::gui {

/// The view of the About window: icon, title, version, description, the
/// web address as a link, an etched line, the notice, OK and System Info.
class AboutDialog : public FormDialog {
    Q_OBJECT
public:
    explicit AboutDialog(about::AboutForm &form, QWidget *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    about::AboutForm &m_form;
    QLabel *m_link = nullptr;
};

} // namespace pvx::gui
