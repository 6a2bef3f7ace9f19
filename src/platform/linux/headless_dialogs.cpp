#include "platform/linux/headless_dialogs.h"

namespace pvx::platform {

void HeadlessDialogs::print(const QString &title, const QString &text)
{
    QString line = QStringLiteral("porvix: ");
    if (!title.isEmpty())
        line += title + QStringLiteral(": ");
    line += text.trimmed();
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QByteArray bytes = (line + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), m_stream);
    std::fflush(m_stream);
}

MessageAnswer HeadlessDialogs::messageBox(const QString &text, const QString &title, MessageButtons buttons,
                                          MessageIcon)
{
    print(title, text);
    switch (buttons) {
    case MessageButtons::Ok:
        return MessageAnswer::Ok;
    case MessageButtons::YesNo:
        return MessageAnswer::No;
    case MessageButtons::OkCancel:
    case MessageButtons::YesNoCancel:
        break;
    }
    return MessageAnswer::Cancel;
}

std::optional<QString> HeadlessDialogs::inputBox(const QString &prompt, const QString &title, const QString &)
{
    print(title, prompt);
    return std::nullopt;
}

QString HeadlessDialogs::openFileName(const FileDialogOptions &)
{
    return {};
}

QString HeadlessDialogs::saveFileName(const FileDialogOptions &)
{
    return {};
}

void HeadlessDialogs::notice(const QString &, const QString &text, const QString &title)
{
    print(title, text);
}

} // namespace pvx::platform
