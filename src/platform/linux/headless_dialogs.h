#pragma once

#include "platform/dialogs.h"

#include <cstdio>

namespace pvx::platform {

/// Dialogs without a screen: every message is printed to a stream (standard
/// error by default) as "porvix: <title>: <text>", and every question takes
/// its cancel answer (No where there is no Cancel, OK where OK is all).
class HeadlessDialogs final : public Dialogs {
public:
    explicit HeadlessDialogs(std::FILE *stream = stderr) : m_stream(stream) {}

    MessageAnswer messageBox(const QString &text, const QString &title, MessageButtons buttons,
                             MessageIcon icon) override;
    std::optional<QString> inputBox(const QString &prompt, const QString &title, const QString &defaultText) override;
    QString openFileName(const FileDialogOptions &options) override;
    QString saveFileName(const FileDialogOptions &options) override;
    void notice(const QString &key, const QString &text, const QString &title) override;
    void closeAll() override {}

private:
    void print(const QString &title, const QString &text);

    std::FILE *m_stream;
};

} // namespace pvx::platform
