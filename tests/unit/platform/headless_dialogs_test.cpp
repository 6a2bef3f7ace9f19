#include "platform/linux/headless_dialogs.h"

#include "support/text.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace pvx::platform;
using pvx::testing::s;

namespace {

QString contents(std::FILE *stream)
{
    std::fflush(stream);
    std::rewind(stream);
    QByteArray bytes;
    char buffer[256];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, stream))
        bytes.append(buffer, static_cast<qsizetype>(got));
    return QString::fromLocal8Bit(bytes);
}

} // namespace

TEST(HeadlessDialogs, PrintsMessagesAndAnswersCancel)
{
    std::FILE *stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    HeadlessDialogs dialogs(stream);
    const std::pair<MessageButtons, MessageAnswer> answers[] = {
        {MessageButtons::Ok, MessageAnswer::Ok},
        {MessageButtons::OkCancel, MessageAnswer::Cancel},
        {MessageButtons::YesNo, MessageAnswer::No},
        {MessageButtons::YesNoCancel, MessageAnswer::Cancel},
    };
    for (const auto &[buttons, answer] : answers)
        EXPECT_EQ(dialogs.messageBox(s("x"), {}, buttons, MessageIcon::None), answer);
    EXPECT_FALSE(dialogs.inputBox(s("Name?"), s("Set Window Name"), s("old")).has_value());
    EXPECT_TRUE(dialogs.openFileName({}).isEmpty());
    EXPECT_TRUE(dialogs.saveFileName({}).isEmpty());
    dialogs.notice(s("k"), s("10.0.0.1\r\n10.0.0.2\r\n"), s("Connected Clients:"));
    dialogs.closeAll();

    EXPECT_EQ(contents(stream), s("porvix: x\nporvix: x\nporvix: x\nporvix: x\n"
                                  "porvix: Set Window Name: Name?\n"
                                  "porvix: Connected Clients:: 10.0.0.1\n10.0.0.2\n"));
    std::fclose(stream);
}
