#pragma once
// The start-up password prompt. Runs modally on the UI thread before any window exists.
#include <QDialog>
#include <functional>

class QLineEdit;

namespace vidora {

class PasswordDialog : public QDialog {
    Q_OBJECT
  public:
    // `password` is the stored start-up password (NUL-terminated, at most 31 characters used).
    explicit PasswordDialog(const char* password, QWidget* parent = nullptr);

    // Shown after a wrong entry; the default is an error message box owned by the dialog.
    void setInvalidPasswordNotice(std::function<void(QWidget*)> notice);
    QLineEdit* edit() const { return edit_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void tryAccept();

    QByteArray password_;
    QLineEdit* edit_;
    std::function<void(QWidget*)> notice_;
};

// Shows the prompt when askPassword is set; true when the program may go on.
bool askStartupPassword();

}  // namespace vidora
