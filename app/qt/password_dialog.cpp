#include "app/qt/password_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstring>

#include "app/settings.h"

namespace vidora {

PasswordDialog::PasswordDialog(const char* password, QWidget* parent)
    : QDialog(parent), password_(password, static_cast<int>(strnlen(password, 31))) {
    setWindowTitle("Vidora");
    setObjectName("129");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Please enter password.", this));
    edit_ = new QLineEdit(this);
    edit_->setObjectName("1008");
    edit_->setEchoMode(QLineEdit::Password);
    layout->addWidget(edit_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("1");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("2");
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &PasswordDialog::tryAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    notice_ = [](QWidget* owner) {
        QMessageBox::critical(owner, "Error", "      Invalid password.      ");
    };
}

void PasswordDialog::setInvalidPasswordNotice(std::function<void(QWidget*)> notice) {
    notice_ = std::move(notice);
}

void PasswordDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    edit_->setFocus();
}

void PasswordDialog::tryAccept() {
    // At most 31 bytes of the entry take part, compared byte for byte (case-sensitive).
    QByteArray entered = edit_->text().toUtf8().left(31);
    if (entered == password_) {
        accept();
        return;
    }
    if (notice_)
        notice_(this);
    edit_->setFocus();
    edit_->selectAll();
}

bool askStartupPassword() {
    if (!gConfig.askPassword)
        return true;
    PasswordDialog dialog(gConfig.password);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace vidora
