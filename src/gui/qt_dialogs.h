#pragma once

#include "platform/dialogs.h"

#include <QMessageBox>
#include <QPointer>

#include <map>

namespace pvx::gui {

/// The dialogs as Qt windows. Modal ones belong to the active window; an
/// empty title shows "Porvix". File dialogs are Qt's own on every desktop,
/// so that their filters always match case-insensitively.
class QtDialogs final : public platform::Dialogs {
public:
    QtDialogs() = default;
    ~QtDialogs() override;
    QtDialogs(const QtDialogs &) = delete;
    QtDialogs &operator=(const QtDialogs &) = delete;

    platform::MessageAnswer messageBox(const QString &text, const QString &title, platform::MessageButtons buttons,
                                       platform::MessageIcon icon) override;
    std::optional<QString> inputBox(const QString &prompt, const QString &title, const QString &defaultText) override;
    QString openFileName(const platform::FileDialogOptions &options) override;
    QString saveFileName(const platform::FileDialogOptions &options) override;
    /// A box that does not block; it closes itself when its OK is pressed.
    void notice(const QString &key, const QString &text, const QString &title) override;
    /// Closes every notice and cancels every dialog that is open, including
    /// the program's own modal windows.
    void closeAll() override;

    /// The notice open under `key`, or null.
    QMessageBox *openNotice(const QString &key) const;

private:
    std::map<QString, QPointer<QMessageBox>> m_notices;
};

} // namespace pvx::gui
