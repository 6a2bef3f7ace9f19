#include "gui/file_filter.h"
#include "gui/options_dialog.h"
#include "gui/password_dialogs.h"
#include "gui/qt_dialogs.h"

#include "support/key_press.h"
#include "support/widget_lookup.h"
#include "support/shell_fixture.h"
#include "support/text.h"
#include "support/wait_until.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using pvx::testing::child;
using pvx::testing::pressEscape;
using pvx::testing::s;
using pvx::testing::ShellFixture;

namespace {

// Types as a user would: the line edit raises its edit signal.
void type(QLineEdit &edit, const QString &text)
{
    edit.setFocus();
    edit.selectAll();
    QKeyEvent erase(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QApplication::sendEvent(&edit, &erase);
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(&edit, &press);
    }
}

} // namespace

TEST(PasswordDialogs, MismatchStaysOpenAndAMatchSetsThePassword)
{
    ShellFixture f;
    f.settings.Password = s("old");
    pvx::shell::SetPasswordForm form(f.strings, f.dialogs, f.settings.Password);
    pvx::gui::SetPasswordDialog dialog(form);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), s("Porvix Password"));
    EXPECT_EQ(child<QLabel>(dialog, "Label2").text(), s("Confirm Password"));
    QLineEdit &first = child<QLineEdit>(dialog, "Text1");
    QLineEdit &second = child<QLineEdit>(dialog, "Text2");
    EXPECT_EQ(first.echoMode(), QLineEdit::Password);
    EXPECT_EQ(second.text(), s("old"));

    type(first, s("one"));
    type(second, s("two"));
    child<QPushButton>(dialog, "Command1").click();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(f.dialogs.messages.size(), 1);
    EXPECT_FALSE(form.result());

    type(second, s("one"));
    child<QPushButton>(dialog, "Command1").click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(form.result(), s("one"));
}

TEST(PasswordDialogs, EscapeIsCancel)
{
    pvx::shell::EnterPasswordForm form;
    pvx::gui::EnterPasswordDialog dialog(form);
    dialog.show();
    EXPECT_EQ(child<QPushButton>(dialog, "Command1").text(), s("OK"));
    type(child<QLineEdit>(dialog, "Text1"), s("typed"));
    pressEscape(dialog);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(form.isLoaded());
    EXPECT_FALSE(form.result());
}

TEST(OptionsDialog, TypedPacketSizeAndChosenListsReachTheSettings)
{
    ShellFixture f;
    pvx::shell::OptionsForm form(f.strings, f.dialogs, f.settings);
    pvx::gui::OptionsDialog dialog(form);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), s("Porvix Options"));
    QComboBox &packet = child<QComboBox>(dialog, "Combo1");
    EXPECT_TRUE(packet.isEditable());
    EXPECT_EQ(packet.currentText(), s("2000"));
    EXPECT_EQ(child<QComboBox>(dialog, "Combo2").currentText(), s("10 Seconds"));
    EXPECT_EQ(child<QComboBox>(dialog, "Combo3").currentText(), s("1000 ms"));

    type(*packet.lineEdit(), s("1500.5"));
    QComboBox &frequency = child<QComboBox>(dialog, "Combo2");
    frequency.setCurrentIndex(13);
    emit frequency.activated(13);
    child<QPushButton>(dialog, "Command2").click();
    EXPECT_FALSE(dialog.isVisible());
    ASSERT_TRUE(form.result());
    EXPECT_EQ(form.result()->PacketSize, 1500);
    EXPECT_EQ(form.result()->PingFrequency, 13);
}

TEST(OptionsDialog, ClosingItChangesNothing)
{
    ShellFixture f;
    pvx::shell::OptionsForm form(f.strings, f.dialogs, f.settings);
    pvx::gui::OptionsDialog dialog(form);
    dialog.show();
    type(*child<QComboBox>(dialog, "Combo1").lineEdit(), s("50"));
    dialog.close();
    EXPECT_FALSE(form.isLoaded());
    EXPECT_FALSE(form.result());
}

TEST(FileFilter, DescriptionsStayWordForWord)
{
    EXPECT_EQ(pvx::gui::qtFileFilters(s("Porvix Files (*.PVX)|*.pvx|All Files (*.*)|*.*")),
              (QStringList{s("Porvix Files (*.PVX)"), s("All Files (*.*)")}));
    EXPECT_EQ(pvx::gui::qtFileFilters(s("Logs|*.log;*.txt|Bad")), (QStringList{s("Logs (*.log *.txt)")}));
    EXPECT_EQ(pvx::gui::qtFileFilters(s("Mixed (*.a)|*.b")), (QStringList{s("Mixed (*.a) (*.b)")}));
    EXPECT_TRUE(pvx::gui::qtFileFilters({}).isEmpty());
}

TEST(FileFilter, TheDialogMatchesInAnyCase)
{
    QTemporaryDir folder;
    for (const char *name : {"a.pvx", "B.PVX", "c.Pvx", "d.txt"}) {
        QFile file(folder.filePath(QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(pvx::gui::qtFileFilters(s("Porvix Files (*.PVX)|*.pvx|All Files (*.*)|*.*")));
    dialog.setDirectory(folder.path());
    auto *model = dialog.findChild<QFileSystemModel *>();
    ASSERT_NE(model, nullptr);
    const QModelIndex root = model->index(folder.path());
    const auto shown = [&] {
        QStringList names;
        for (int row = 0; row < model->rowCount(root); ++row) {
            const QModelIndex index = model->index(row, 0, root);
            names.append(model->fileName(index));
        }
        names.sort();
        return names;
    };
    // Files that do not match are hidden; the folder is read in the background.
    const QStringList expected{s("B.PVX"), s("a.pvx"), s("c.Pvx")};
    waitUntil([&] { return shown() == expected; }, std::chrono::seconds(5));
    EXPECT_EQ(shown(), expected);
}

TEST(QtDialogs, OneNoticePerKeyAndCloseAllCancelsOpenDialogs)
{
    pvx::gui::QtDialogs dialogs;
    dialogs.notice(s("10.0.0.1"), s("first"), s("Error"));
    dialogs.notice(s("10.0.0.2"), s("other"), {});
    dialogs.notice(s("10.0.0.1"), s("second"), s("Error"));
    ASSERT_NE(dialogs.openNotice(s("10.0.0.1")), nullptr);
    EXPECT_EQ(dialogs.openNotice(s("10.0.0.1"))->text(), s("second"));
    EXPECT_EQ(dialogs.openNotice(s("10.0.0.2"))->windowTitle(), s("Porvix"));
    EXPECT_FALSE(dialogs.openNotice(s("10.0.0.1"))->isModal());

    QTimer::singleShot(50, [&dialogs] { dialogs.closeAll(); });
    const auto answer = dialogs.messageBox(s("Really?"), {}, pvx::platform::MessageButtons::YesNoCancel,
                                           pvx::platform::MessageIcon::Question);
    EXPECT_EQ(answer, pvx::platform::MessageAnswer::Cancel);
    EXPECT_EQ(dialogs.openNotice(s("10.0.0.1")), nullptr);

    QTimer::singleShot(50, [&dialogs] { dialogs.closeAll(); });
    EXPECT_FALSE(dialogs.inputBox(s("Name?"), {}, s("x")).has_value());
}

TEST(QtDialogs, ALongPromptWrapsInABoxAtMost480Wide)
{
    pvx::gui::QtDialogs dialogs;
    const QString prompt = s("Enter an optional name or description for this session window. The name that you "
                             "enter will appear in the title bar of the current session window and in the Window "
                             "list on the Porvix main menu.");
    int width = 0;
    bool promptWhole = false;
    QTimer::singleShot(50, [&] {
        QWidget *box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        width = box->width();
        for (const QLabel *label : box->findChildren<QLabel *>()) {
            if (label->text() == prompt)
                promptWhole = label->wordWrap() && label->heightForWidth(label->width()) <= label->height();
        }
        dialogs.closeAll();
    });
    EXPECT_FALSE(dialogs.inputBox(prompt, s("Set Window Name"), s("New - RS232 to TCP/IP")).has_value());
    EXPECT_GT(width, 0);
    EXPECT_LE(width, 480);
    EXPECT_TRUE(promptWhole);
}
