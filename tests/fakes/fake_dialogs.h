#pragma once

#include "platform/dialogs.h"

#include <QList>
#include <QStringList>

#include <deque>

namespace pvx::fakes {

/// Dialogs that record what they were asked and give scripted answers.
class FakeDialogs : public platform::Dialogs {
public:
    struct Message {
        QString text;
        QString title;
        platform::MessageButtons buttons;
    };

    platform::MessageAnswer messageBox(const QString &text, const QString &title,
                                       platform::MessageButtons buttons, platform::MessageIcon) override
    {
        messages.append({text, title, buttons});
        if (messageAnswers.empty())
            return platform::MessageAnswer::Ok;
        const auto answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }
    std::optional<QString> inputBox(const QString &prompt, const QString &title,
                                    const QString &defaultText) override
    {
        inputs.append({prompt, title, defaultText});
        if (inputAnswers.empty())
            return std::nullopt;
        const auto answer = inputAnswers.front();
        inputAnswers.pop_front();
        return answer;
    }
    QString openFileName(const platform::FileDialogOptions &options) override
    {
        fileDialogs.append(options);
        return nextFileName;
    }
    QString saveFileName(const platform::FileDialogOptions &options) override
    {
        fileDialogs.append(options);
        return nextFileName;
    }
    void notice(const QString &key, const QString &text, const QString &title) override
    {
        notices.append({key, text, title});
    }
    void closeAll() override { ++closeAllCalls; }

    struct Input {
        QString prompt;
        QString title;
        QString defaultText;
    };
    struct Notice {
        QString key;
        QString text;
        QString title;
    };
    QList<Message> messages;
    QList<Input> inputs;
    QList<Notice> notices;
    QList<platform::FileDialogOptions> fileDialogs;
    std::deque<platform::MessageAnswer> messageAnswers;
    std::deque<std::optional<QString>> inputAnswers;
    QString nextFileName;
    int closeAllCalls = 0;
};

} // namespace pvx::fakes
