#pragma once

#include <QString>

#include <optional>

namespace pvx::platform {

enum class MessageButtons {
    Ok,
    OkCancel,
    YesNo,
    YesNoCancel,
};

enum class MessageIcon {
    None,
    Information,
    Warning,
    Critical,
    Question,
};

enum class MessageAnswer {
    Ok,
    Cancel,
    Yes,
    No,
};

struct FileDialogOptions {
    QString title;
    /// Pairs of description and pattern, as "Porvix Files (*.PVX)|*.pvx|All Files (*.*)|*.*".
    QString filter;
    QString defaultExtension;
    QString initialPath;
};

/// Message boxes, input boxes and file dialogs. The GUI shows real dialogs;
/// without a GUI a message goes to standard error and a question takes its
/// cancel answer.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    /// Shows `text` and waits for the answer.
    virtual MessageAnswer messageBox(const QString &text, const QString &title,
                                     MessageButtons buttons, MessageIcon icon) = 0;
    /// Asks for a line of text; nullopt on Cancel.
    virtual std::optional<QString> inputBox(const QString &prompt, const QString &title,
                                            const QString &defaultText) = 0;
    /// The chosen existing file, or empty on Cancel.
    virtual QString openFileName(const FileDialogOptions &options) = 0;
    /// The chosen file to write, or empty on Cancel.
    virtual QString saveFileName(const FileDialogOptions &options) = 0;
    /// Shows `text` without waiting. A new notice under the same `key`
    /// replaces one that is still open, so at most one is shown per key.
    virtual void notice(const QString &key, const QString &text, const QString &title) = 0;
    /// Closes every open dialog, answering each as cancelled.
    virtual void closeAll() = 0;
};

} // namespace pvx::platform
