#include "settingsui/capture_setup.h"
#include "settingsui/control_ids.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "settingsui/field_text.h"
#include "settingsui/record_setup.h"
#include "settingsui/stored_choices.h"

namespace vidora::settingsui {

CCaptureSetup::CCaptureSetup(const PageContext& context)
    : StoragePage(context, QStringLiteral("Capture")) {}

void CCaptureSetup::build() {
    const VidoraConfig& cfg = config();

    auto* pictureFormat = new QGroupBox(QStringLiteral("Picture Format"), this);
    format_ = new QComboBox(pictureFormat);
    format_->setObjectName(idName(ids::capture::kFormat));
    format_->addItems({QStringLiteral("JPG"), QStringLiteral("BMP")});
    format_->setCurrentIndex(
        cfg.pictureFormat >= 1 && cfg.pictureFormat <= 2 ? cfg.pictureFormat - 1 : -1);
    size_ = new QComboBox(pictureFormat);
    size_->setObjectName(idName(ids::capture::kSize));
    if (const auto standard = knownStandard(cfg.videoStandard)) {
        size_->addItems(pictureSizeItems(*standard == VideoStandard::Pal));
    }
    size_->setCurrentIndex(
        cfg.pictureSize >= 1 && cfg.pictureSize <= size_->count() ? cfg.pictureSize - 1 : -1);
    auto* formatGrid = new QGridLayout(pictureFormat);
    formatGrid->addWidget(new QLabel(QStringLiteral("Compression:"), pictureFormat), 0, 0);
    formatGrid->addWidget(format_, 0, 1);
    formatGrid->addWidget(new QLabel(QStringLiteral("Image Size:"), pictureFormat), 0, 2);
    formatGrid->addWidget(size_, 0, 3);
    formatGrid->setColumnStretch(1, 1);
    formatGrid->setColumnStretch(3, 1);

    auto* storage = new QGroupBox(QStringLiteral("Storage Strategy"), this);
    limit_ = makeNumberEdit(ids::capture::kLimit, 7);
    limit_->setText(QString::number(cfg.pictureLimitMB));
    auto* limitRow = new QHBoxLayout;
    limitRow->addWidget(makeLabel(QStringLiteral("Limit total file size below")));
    addNumberField(limitRow, limit_, QStringLiteral("MB."));
    limitRow->addStretch();
    auto* storageColumn = new QVBoxLayout(storage);
    storageColumn->addLayout(limitRow);
    storageColumn->addWidget(makePolicyGroup(ids::capture::kDeleteOldest,
                                             ids::capture::kStopAndNotify, cfg.pictureLimitPolicy));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(makeFolderRow(QStringLiteral("Picture Path:"), ids::capture::kFolder,
                                    ids::capture::kBrowse, fieldText(cfg.pictureFolder)));
    layout->addWidget(pictureFormat);
    layout->addWidget(storage);
    layout->addStretch();

    checkOnFocusOut(limit_, [this] { checkFreeSpace(limit_); });
}

void CCaptureSetup::writeBack() {
    VidoraConfig& cfg = config();
    storeChangedFieldText(cfg.pictureFolder, folderText());
    // As on the Record page, a list without a selection keeps the stored value.
    if (format_->currentIndex() >= 0) {
        cfg.pictureFormat = format_->currentIndex() + 1;
    }
    if (size_->currentIndex() >= 0) {
        cfg.pictureSize = size_->currentIndex() + 1;
    }
    cfg.pictureLimitMB = clampToUInt32(fieldNumber(limit_));
    cfg.pictureLimitPolicy = policy();
}

}  // namespace vidora::settingsui
