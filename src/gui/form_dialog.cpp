#include "gui/form_dialog.h"

#include "core/modal_form.h"

#include <QKeyEvent>
#include <QScreen>

namespace pvx::gui {

FormDialog::FormDialog(core::ModalForm &form, QWidget *parent) : QDialog(parent), m_form(form)
{
    setObjectName(form.name());
    const auto showCaption = [this] { setWindowTitle(m_form.caption()); };
    showCaption();
    connect(&form, &core::Form::changed, this, showCaption);
    connect(&form, &core::ModalForm::unloaded, this, &QDialog::accept);
}

void FormDialog::reject()
{
    if (m_form.isLoaded())
        m_form.closeBox();
    if (isVisible())
        QDialog::reject();
}

void FormDialog::keyPressEvent(QKeyEvent *event)
{
    // QDialog would reject; the model decides what Esc means.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        m_form.escapePressed();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FormDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (const QScreen *screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        move(available.left() + (available.width() - width()) / 2, available.top() + (available.height() - height()) / 2);
    }
}

} // namespace pvx::gui
