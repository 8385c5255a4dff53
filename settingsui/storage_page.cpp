#include "settingsui/storage_page.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "settingsui/disk_space.h"
#include "settingsui/field_text.h"
#include "settingsui/stored_choices.h"
#include "settingsui/user_dialogs.h"

namespace vidora::settingsui {

QLayout* StoragePage::makeFolderRow(const QString& label, int editId, int buttonId,
                                    const QString& folder) {
    folder_ = new QLineEdit(folder, this);
    folder_->setObjectName(idName(editId));
    folder_->setReadOnly(true);
    auto* change = new QPushButton(QStringLiteral("Change"), this);
    change->setObjectName(idName(buttonId));
    connect(change, &QPushButton::clicked, this, [this] { browseFolder(); });

    auto* row = new QHBoxLayout;
    row->addWidget(makeLabel(label));
    row->addWidget(folder_, 1);
    row->addWidget(change);
    return row;
}

QGroupBox* StoragePage::makePolicyGroup(int deleteId, int stopId, std::int32_t policy) {
    auto* group = new QGroupBox(
        QStringLiteral("Take following operation when total file size limit reached."), this);
    deleteOldest_ = new QRadioButton(QStringLiteral("Delete oldest files."), group);
    deleteOldest_->setObjectName(idName(deleteId));
    stopAndNotify_ = new QRadioButton(QStringLiteral("Stop capturing and notify user."), group);
    stopAndNotify_->setObjectName(idName(stopId));
    auto* column = new QVBoxLayout(group);
    column->addWidget(deleteOldest_);
    column->addWidget(stopAndNotify_);
    (policy == storedValue(LimitPolicy::DeleteOldest) ? deleteOldest_ : stopAndNotify_)
        ->setChecked(true);
    return group;
}

void StoragePage::browseFolder() {
    const QString chosen = context().dialogs ? context().dialogs->chooseFolder(
                                                   this, QStringLiteral("select folder ..."))
                                             : QString();
    if (chosen.isEmpty()) {
        return;
    }
    // The record keeps folders in a fixed 256-byte field; a longer path is refused rather than
    // cut, which would name another folder.
    if (utf8Length(chosen) > kMaxFolderBytes) {
        showMessage(
            QStringLiteral("The path of the selected folder is too long (at most %1 bytes). "
                           "Please choose another folder.")
                .arg(kMaxFolderBytes),
            QStringLiteral("Error"));
        return;
    }
    folder_->setText(chosen);
}

void StoragePage::checkFreeSpace(QLineEdit* limitEdit) {
    if (!context().disk) {
        return;
    }
    const auto freeBytes = context().disk->freeBytes(folder_->text());
    if (!freeBytes) {
        return;
    }
    const double freeMB = static_cast<double>(*freeBytes) / 1048576.0;
    if (freeMB <= static_cast<double>(fieldNumber(limitEdit))) {
        showMessage(QString::asprintf(
                        "输入的总大小比磁盘剩余空间还大！\n(当前路径下的最大空间为%.2fMB)", freeMB),
                    QStringLiteral("提示"));
        focusAndSelect(limitEdit);
    }
}

QString StoragePage::folderText() const {
    return folder_->text();
}

std::int32_t StoragePage::policy() const {
    return storedValue(deleteOldest_->isChecked() ? LimitPolicy::DeleteOldest
                                                  : LimitPolicy::StopAndNotify);
}

}  // namespace vidora::settingsui
