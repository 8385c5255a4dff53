// Security page: switching the password on and off, the old-password and confirmation checks
// that keep the page, and the length limits of the 32-byte field.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include "settingsui/control_ids.h"
#include "settingsui/modify_password.h"
#include "test_support.h"

namespace vidora::settingsui::test {
namespace {

class SecurityPage : public ::testing::Test {
  protected:
    void passwordOn(const char* password) {
        h.config.askPassword = 1;
        std::strcpy(h.config.password, password);
    }
    QLineEdit* oldEdit() { return h.get<QLineEdit>(ids::password::kOldPassword); }
    QLineEdit* newEdit() { return h.get<QLineEdit>(ids::password::kNewPassword); }
    QLineEdit* confirmEdit() { return h.get<QLineEdit>(ids::password::kConfirmPassword); }
    QCheckBox* ask() { return h.get<QCheckBox>(ids::password::kAskPassword); }

    PageHarness<CModifyPassword> h;
};

TEST_F(SecurityPage, SwitchingThePasswordOnNeedsNoOldPassword) {
    h.open();
    EXPECT_FALSE(ask()->isChecked());
    EXPECT_EQ(ask()->text(), "Ask for password on startup.");
    EXPECT_FALSE(oldEdit()->isEnabled());
    EXPECT_FALSE(newEdit()->isEnabled());
    EXPECT_EQ(newEdit()->echoMode(), QLineEdit::Password);

    ask()->click();
    EXPECT_EQ(h.config.askPassword, 1);
    EXPECT_FALSE(oldEdit()->isEnabled());
    EXPECT_TRUE(newEdit()->isEnabled());
    EXPECT_TRUE(confirmEdit()->isEnabled());
    typeInto(newEdit(), "door");
    typeInto(confirmEdit(), "door");

    EXPECT_TRUE(h.page->onKillActive());
    EXPECT_TRUE(h.dialogs.messages.empty());
    EXPECT_STREQ(h.config.password, "door");
}

TEST_F(SecurityPage, WrongOrMissingOldPasswordKeepsThePage) {
    passwordOn("Secret");
    h.open();
    EXPECT_TRUE(ask()->isChecked());
    EXPECT_TRUE(oldEdit()->isEnabled());
    EXPECT_TRUE(oldEdit()->text().isEmpty());

    EXPECT_FALSE(h.page->onKillActive());
    typeInto(oldEdit(), "secret");  // the comparison is case-sensitive
    typeInto(newEdit(), "other");
    typeInto(confirmEdit(), "other");
    EXPECT_FALSE(h.page->onKillActive());

    ASSERT_EQ(h.dialogs.messages.size(), 2u);
    for (const ShownMessage& m : h.dialogs.messages) {
        EXPECT_EQ(m.text, "The old password is incorrect.");
        EXPECT_EQ(m.caption, "Error");
    }
    EXPECT_STREQ(h.config.password, "Secret");
    EXPECT_EQ(newEdit()->text(), "other");  // the texts are kept
}

TEST_F(SecurityPage, DifferentNewPasswordsKeepThePage) {
    passwordOn("Secret");
    h.open();
    typeInto(oldEdit(), "Secret");
    typeInto(newEdit(), "one");
    typeInto(confirmEdit(), "two");
    EXPECT_FALSE(h.page->onKillActive());
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text, "The twice inputs of password are not identical.");
    EXPECT_EQ(h.dialogs.messages[0].caption, "Error");
    EXPECT_STREQ(h.config.password, "Secret");

    typeInto(confirmEdit(), "one");
    EXPECT_TRUE(h.page->onKillActive());
    EXPECT_STREQ(h.config.password, "one");
}

TEST_F(SecurityPage, CorrectOldPasswordWithEmptyNewFieldsClearsThePassword) {
    passwordOn("Secret");
    h.open();
    typeInto(oldEdit(), "Secret");
    EXPECT_TRUE(h.page->onKillActive());
    EXPECT_EQ(h.config.askPassword, 1);
    EXPECT_STREQ(h.config.password, "");
}

TEST_F(SecurityPage, ClearingTheBoxSwitchesOffAndEmptiesThePassword) {
    passwordOn("Secret");
    h.open();
    typeInto(oldEdit(), "typed");
    ask()->click();
    EXPECT_EQ(h.config.askPassword, 0);
    EXPECT_EQ(std::string(h.config.password, sizeof h.config.password), std::string(32, '\0'));
    for (QLineEdit* edit : {oldEdit(), newEdit(), confirmEdit()}) {
        EXPECT_FALSE(edit->isEnabled());
        EXPECT_TRUE(edit->text().isEmpty());
    }
    EXPECT_TRUE(h.page->onKillActive());
    EXPECT_STREQ(h.config.password, "");

    // Checking it again asks for the old password once more: it was on when the page opened.
    ask()->click();
    EXPECT_TRUE(oldEdit()->isEnabled());
}

TEST_F(SecurityPage, NewPasswordsStopAtThirtyCharactersAndFitTheField) {
    h.config.askPassword = 0;
    h.open();
    ask()->click();
    const QString thirtyOne = QString(31, QLatin1Char('x'));
    typeInto(newEdit(), thirtyOne);
    typeInto(confirmEdit(), thirtyOne);
    EXPECT_EQ(newEdit()->text().size(), 30);
    EXPECT_EQ(confirmEdit()->maxLength(), 30);
    EXPECT_EQ(oldEdit()->maxLength(), 32767);  // the old password has no limit of its own
    EXPECT_TRUE(h.page->onKillActive());
    EXPECT_EQ(std::strlen(h.config.password), 30u);
    EXPECT_EQ(h.config.password[30], '\0');

    // Characters of three UTF-8 bytes: only ten fit the 31 bytes before the NUL.
    const QString wide = QString(12, QChar(0x5BC6));
    typeInto(newEdit(), wide);
    typeInto(confirmEdit(), wide);
    EXPECT_EQ(newEdit()->text().size(), 10);
    EXPECT_TRUE(h.page->onKillActive());
    EXPECT_EQ(QString::fromUtf8(h.config.password), QString(10, QChar(0x5BC6)));
    EXPECT_EQ(h.config.askPassword, 1);
}

}  // namespace
}  // namespace vidora::settingsui::test
