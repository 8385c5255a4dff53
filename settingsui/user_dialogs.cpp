#include "settingsui/user_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace vidora::settingsui {

void DesktopDialogs::message(QWidget* owner, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

QString DesktopDialogs::chooseFolder(QWidget* owner, const QString& title) {
    return QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
}

}  // namespace vidora::settingsui
