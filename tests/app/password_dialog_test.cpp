#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/qt/password_dialog.h"

using namespace vidora;

namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "password_dialog_test";
    static char* argv[] = {name, nullptr};
    static QApplication a(argc, argv);
    return a;
}

// Types `entry`, presses OK (and Cancel after `cancelAfter` failed tries); returns the result and
// how many times the invalid-password notice was shown.
std::pair<int, int> runDialog(const char* stored, QStringList entries) {
    app();
    PasswordDialog dialog(stored);
    int notices = 0;
    dialog.setInvalidPasswordNotice([&](QWidget* owner) {
        EXPECT_EQ(owner, &dialog);
        ++notices;
    });
    QTimer::singleShot(0, &dialog, [&] {
        EXPECT_EQ(dialog.windowTitle(), "Vidora");
        const QLabel* prompt = dialog.findChild<QLabel*>();
        ASSERT_NE(prompt, nullptr);
        EXPECT_EQ(prompt->text(), "Please enter password.");
        EXPECT_EQ(dialog.edit()->echoMode(), QLineEdit::Password);
        EXPECT_EQ(dialog.focusWidget(), dialog.edit()) << "the entry has the focus";
        for (const QString& entry : entries) {
            dialog.edit()->setText(entry);
            dialog.findChild<QPushButton*>("1")->click();
            if (!dialog.isVisible())
                return;
        }
        dialog.findChild<QPushButton*>("2")->click();
    });
    int result = dialog.exec();
    return {result, notices};
}

}  // namespace

TEST(PasswordDialogTest, EmptyPasswordAcceptsAnEmptyEntry) {
    auto [result, notices] = runDialog("", {""});
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(notices, 0);
}

TEST(PasswordDialogTest, CaseMattersAndAttemptsAreUnlimited) {
    auto [result, notices] = runDialog("Secret", {"secret", "SECRET", "Secret"});
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(notices, 2);
}

TEST(PasswordDialogTest, CancelEndsTheDialog) {
    auto [result, notices] = runDialog("abc", {"x"});
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(notices, 1);
}

TEST(PasswordDialogTest, OnlyThe31StoredBytesTakePart) {
    // A stored password fills the field; the entry is compared on at most 31 bytes.
    auto [result, notices] =
        runDialog("0123456789012345678901234567890", {"0123456789012345678901234567890EXTRA"});
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(notices, 0);
}

TEST(PasswordDialogTest, AWrongEntryShowsTheErrorBoxAndTheEntryGetsTheFocusBack) {
    app();
    PasswordDialog dialog("pw");
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* owner = nullptr;
    QTimer::singleShot(0, &dialog, [&] {
        dialog.edit()->setText("PW");
        // Runs inside the error box's own event loop and closes the box as a user would.
        QTimer::singleShot(0, &dialog, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr) << "the error box is up";
            caption = box->windowTitle();
            text = box->text();
            icon = box->icon();
            owner = box->parentWidget();
            box->accept();
        });
        dialog.findChild<QPushButton*>("1")->click();
        EXPECT_TRUE(dialog.isVisible()) << "the prompt stays open";
        EXPECT_EQ(dialog.focusWidget(), dialog.edit());
        dialog.findChild<QPushButton*>("2")->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(caption, "Error");
    EXPECT_EQ(text, "      Invalid password.      ");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(owner, &dialog);
}
