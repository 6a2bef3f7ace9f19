#include "gui/qt_dialogs.h"

#include "gui/file_filter.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>

#include <algorithm>

namespace pvx::gui {

namespace {

using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;

/// The widest an input box grows; a longer prompt wraps.
constexpr int kInputBoxMaxWidth = 480;

QString titleOrName(const QString &title)
{
    return title.isEmpty() ? QStringLiteral("Porvix") : title;
}

QMessageBox::Icon qtIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::None:
        break;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons qtButtons(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok:
        break;
    case MessageButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

// A box closed without a button (the shutdown cancels it) takes its cancel
// answer.
MessageAnswer answerOf(int result, MessageButtons buttons)
{
    switch (result) {
    case QMessageBox::Ok:
        return MessageAnswer::Ok;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    default:
        break;
    }
    if (buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Cancel;
}

QString runFileDialog(const platform::FileDialogOptions &options, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(QApplication::activeWindow(), options.title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (mode == QFileDialog::AcceptSave) {
        // Saving over a file is what Save As is for: no question.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setDefaultSuffix(options.defaultExtension);
    }
    const QStringList filters = qtFileFilters(options.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.first());
    }
    if (!options.initialPath.isEmpty())
        dialog.selectFile(options.initialPath);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

} // namespace

QtDialogs::~QtDialogs()
{
    for (auto &[key, box] : m_notices)
        delete box.data();
}

MessageAnswer QtDialogs::messageBox(const QString &text, const QString &title, MessageButtons buttons, MessageIcon icon)
{
    QMessageBox box(qtIcon(icon), titleOrName(title), text, qtButtons(buttons), QApplication::activeWindow());
    return answerOf(box.exec(), buttons);
}

std::optional<QString> QtDialogs::inputBox(const QString &prompt, const QString &title, const QString &defaultText)
{
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(titleOrName(title));
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    if (auto *label = dialog.findChild<QLabel *>()) {
        label->setWordWrap(true);
        // A long prompt takes the box's width rather than a narrow column.
        label->setMinimumWidth(std::min(label->fontMetrics().horizontalAdvance(prompt), kInputBoxMaxWidth * 7 / 8));
    }
    dialog.setMaximumWidth(kInputBoxMaxWidth);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

QString QtDialogs::openFileName(const platform::FileDialogOptions &options)
{
    return runFileDialog(options, QFileDialog::AcceptOpen);
}

QString QtDialogs::saveFileName(const platform::FileDialogOptions &options)
{
    return runFileDialog(options, QFileDialog::AcceptSave);
}

void QtDialogs::notice(const QString &key, const QString &text, const QString &title)
{
    if (QMessageBox *old = openNotice(key))
        delete old;
    auto *box = new QMessageBox(QMessageBox::NoIcon, titleOrName(title), text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
    m_notices[key] = box;
}

QMessageBox *QtDialogs::openNotice(const QString &key) const
{
    const auto found = m_notices.find(key);
    return found == m_notices.end() ? nullptr : found->second.data();
}

void QtDialogs::closeAll()
{
    for (auto &[key, box] : m_notices)
        delete box.data();
    m_notices.clear();
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<QDialog *>(window); dialog && dialog->isVisible())
            dialog->reject();
    }
}

} // namespace pvx::gui
