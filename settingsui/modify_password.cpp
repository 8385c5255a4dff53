#include "settingsui/modify_password.h"
#include "settingsui/control_ids.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "settingsui/field_text.h"

namespace vidora::settingsui {

namespace {

// Typed passwords are limited to 30 characters, and to what fits the 32-byte field with its NUL.
constexpr int kMaxPasswordChars = 30;
constexpr int kMaxPasswordBytes = sizeof(VidoraConfig::password) - 1;

QLineEdit* makePasswordEdit(QWidget* parent, int id, bool limited) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(idName(id));
    edit->setEchoMode(QLineEdit::Password);
    if (limited) {
        edit->setMaxLength(kMaxPasswordChars);
        edit->setValidator(new TextLimitValidator(kMaxPasswordChars, kMaxPasswordBytes, edit));
    }
    return edit;
}

}  // namespace

CModifyPassword::CModifyPassword(const PageContext& context)
    : SettingsPage(context, QStringLiteral("Security")) {}

void CModifyPassword::build() {
    ask_ = new QCheckBox(QStringLiteral("Ask for password on startup."), this);
    ask_->setObjectName(idName(ids::password::kAskPassword));
    oldEdit_ = makePasswordEdit(this, ids::password::kOldPassword, false);
    newEdit_ = makePasswordEdit(this, ids::password::kNewPassword, true);
    confirmEdit_ = makePasswordEdit(this, ids::password::kConfirmPassword, true);

    auto* form = new QFormLayout;
    form->setContentsMargins(24, 8, 0, 0);
    form->addRow(QStringLiteral("Old Password"), oldEdit_);
    form->addRow(QStringLiteral("New Password"), newEdit_);
    form->addRow(QStringLiteral("Confirm"), confirmEdit_);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    for (QLineEdit* edit : {oldEdit_, newEdit_, confirmEdit_}) {
        edit->setFixedWidth(260);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addWidget(ask_);
    layout->addLayout(form);
    layout->addStretch();

    const bool on = config().askPassword != 0;
    wasOn_ = on;
    oldPassword_ = on ? fieldText(config().password) : QString();
    for (QLineEdit* edit : {oldEdit_, newEdit_, confirmEdit_}) {
        edit->setEnabled(on);
        edit->clear();
    }
    ask_->setChecked(on);
    connect(ask_, &QCheckBox::clicked, this, [this](bool checked) { onAskClicked(checked); });
}

void CModifyPassword::onAskClicked(bool checked) {
    if (checked) {
        oldEdit_->setEnabled(wasOn_);
        oldEdit_->clear();
        newEdit_->setEnabled(true);
        confirmEdit_->setEnabled(true);
        config().askPassword = 1;
    } else {
        for (QLineEdit* edit : {oldEdit_, newEdit_, confirmEdit_}) {
            edit->setEnabled(false);
            edit->clear();
        }
        config().askPassword = 0;
        storeFieldText(config().password, QString());
    }
}

bool CModifyPassword::onKillActive() {
    if (!isCreated()) {
        return true;
    }
    const QString oldText = oldEdit_->text();
    const QString newText = newEdit_->text();
    const QString confirmText = confirmEdit_->text();
    const bool on = config().askPassword != 0;
    if (on && oldText != oldPassword_) {
        showMessage(QStringLiteral("The old password is incorrect."), QStringLiteral("Error"));
        return false;
    }
    if (on && newText != confirmText) {
        showMessage(QStringLiteral("The twice inputs of password are not identical."),
                    QStringLiteral("Error"));
        return false;
    }
    storeFieldText(config().password, newText);
    return true;
}

}  // namespace vidora::settingsui
