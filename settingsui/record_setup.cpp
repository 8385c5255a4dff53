#include "settingsui/record_setup.h"
#include "settingsui/control_ids.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "settingsui/disk_space.h"
#include "settingsui/field_text.h"
#include "settingsui/stored_choices.h"

namespace vidora::settingsui {

QStringList pictureSizeItems(bool pal) {
    if (pal) {
        return {QStringLiteral("720*576"), QStringLiteral("352*576"), QStringLiteral("352*288")};
    }
    return {QStringLiteral("720*480"), QStringLiteral("352*480"), QStringLiteral("352*240")};
}

namespace {

QComboBox* makeList(QWidget* parent, int id, const QStringList& items, std::int64_t selected) {
    auto* list = new QComboBox(parent);
    list->setObjectName(idName(id));
    list->addItems(items);
    list->setCurrentIndex(selected >= 0 && selected < list->count() ? static_cast<int>(selected)
                                                                    : -1);
    return list;
}

}  // namespace

CRecordSetup::CRecordSetup(const PageContext& context)
    : StoragePage(context, QStringLiteral("Record")) {}

void CRecordSetup::build() {
    const VidoraConfig& cfg = config();

    drives_ = new QTableWidget(0, 2, this);
    drives_->setObjectName(idName(ids::record::kDrives));
    auto* diskHeader = new QTableWidgetItem(QStringLiteral("  Disk"));
    diskHeader->setTextAlignment(Qt::AlignCenter);
    auto* spaceHeader = new QTableWidgetItem(QStringLiteral("                 Remain space"));
    spaceHeader->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    drives_->setHorizontalHeaderItem(0, diskHeader);
    drives_->setHorizontalHeaderItem(1, spaceHeader);
    drives_->horizontalHeader()->setStretchLastSection(true);
    drives_->setWordWrap(false);
    drives_->verticalHeader()->hide();
    drives_->setShowGrid(true);
    drives_->setSelectionBehavior(QAbstractItemView::SelectRows);
    drives_->setSelectionMode(QAbstractItemView::SingleSelection);
    drives_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    drives_->setMinimumHeight(90);
    drives_->setMaximumHeight(120);
    fillDriveList();

    QLayout* folderRow = makeFolderRow(QStringLiteral("Record File Path"), ids::record::kFolder,
                                       ids::record::kBrowse, fieldText(cfg.recordFolder));

    const auto standard = knownStandard(cfg.videoStandard);
    const bool pal = standard == VideoStandard::Pal;
    QStringList rates;
    for (int fps = 5; fps <= maxFramesPerSecond(standard); fps += 5) {
        rates << QString::number(fps);
    }
    auto* fileSetup = new QGroupBox(QStringLiteral("Record File Setup"), this);
    auto* compression =
        makeList(fileSetup, ids::record::kCompression, {QStringLiteral("MPEG4")}, 0);
    auto* format = makeList(fileSetup, ids::record::kFileFormat, {QStringLiteral("AVI")}, 0);
    imageSize_ = makeList(fileSetup, ids::record::kImageSize, pictureSizeItems(pal),
                          std::int64_t{cfg.recordImageSize} - 1);
    frameRate_ = makeList(fileSetup, ids::record::kFrameRate, rates, cfg.recordFps / 5 - 1);
    auto* fileGrid = new QGridLayout(fileSetup);
    fileGrid->addWidget(new QLabel(QStringLiteral("Compression"), fileSetup), 0, 0);
    fileGrid->addWidget(compression, 0, 1);
    fileGrid->addWidget(new QLabel(QStringLiteral("Format"), fileSetup), 0, 2);
    fileGrid->addWidget(format, 0, 3);
    fileGrid->addWidget(new QLabel(QStringLiteral("Image Size"), fileSetup), 1, 0);
    fileGrid->addWidget(imageSize_, 1, 1);
    fileGrid->addWidget(new QLabel(QStringLiteral("Framerate"), fileSetup), 1, 2);
    fileGrid->addWidget(frameRate_, 1, 3);
    fileGrid->setColumnStretch(1, 1);
    fileGrid->setColumnStretch(3, 1);

    auto* storage = new QGroupBox(QStringLiteral("Storage Strategy"), this);
    totalLimit_ = makeNumberEdit(ids::record::kTotalLimit, 7);
    fileLimit_ = makeNumberEdit(ids::record::kFileLimit, 7);
    totalLimit_->setText(QString::number(cfg.recordLimitMB));
    fileLimit_->setText(QString::number(cfg.recordFileMB));
    auto* limitRow = new QHBoxLayout;
    limitRow->addWidget(makeLabel(QStringLiteral("Limit total file size below")));
    addNumberField(limitRow, totalLimit_, QStringLiteral("MB,"));
    addNumberField(limitRow, fileLimit_, QStringLiteral("MB for single file."));
    limitRow->addStretch();
    auto* storageColumn = new QVBoxLayout(storage);
    storageColumn->addLayout(limitRow);
    storageColumn->addWidget(makePolicyGroup(ids::record::kDeleteOldest,
                                             ids::record::kStopAndNotify, cfg.recordLimitPolicy));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(drives_);
    layout->addLayout(folderRow);
    layout->addWidget(fileSetup);
    layout->addWidget(storage);
    layout->addStretch();

    checkOnFocusOut(totalLimit_, [this] { checkFreeSpace(totalLimit_); });
    checkOnFocusOut(fileLimit_, [this] { checkSingleFile(); });
}

void CRecordSetup::fillDriveList() {
    drives_->setRowCount(0);
    if (!context().disk) {
        return;
    }
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (const Volume& volume : context().disk->volumes()) {
        const int row = drives_->rowCount();
        drives_->insertRow(row);
        auto* disk = new QTableWidgetItem(QStringLiteral("    ") + volume.mountPoint);
        disk->setTextAlignment(Qt::AlignCenter);
        // The free space is padded with spaces to line the numbers up, which needs even spaces.
        auto* space = new QTableWidgetItem(formatFreeSpace(volume.freeBytes));
        space->setFont(fixed);
        drives_->setItem(row, 0, disk);
        drives_->setItem(row, 1, space);
    }
    // Mount points are longer than drive letters: the column grows to show them whole.
    drives_->resizeColumnToContents(0);
    drives_->setColumnWidth(0, std::max(60, drives_->columnWidth(0)));
}

void CRecordSetup::checkSingleFile() {
    if (fieldNumber(fileLimit_) >= fieldNumber(totalLimit_)) {
        showMessage(QStringLiteral("单个文件大小不能超过总的存储空间!"),
                    QString::fromLatin1(kLibraryName));
        focusAndSelect(fileLimit_);
    }
}

void CRecordSetup::writeBack() {
    VidoraConfig& cfg = config();
    storeChangedFieldText(cfg.recordFolder, folderText());
    // A list left without a selection (the stored value was not one of its items) keeps the
    // stored value: a size or frame rate of 0 would only break the recorder.
    if (imageSize_->currentIndex() >= 0) {
        cfg.recordImageSize = imageSize_->currentIndex() + 1;
    }
    if (frameRate_->currentIndex() >= 0) {
        cfg.recordFps = frameRate_->currentIndex() * 5 + 5;
    }
    cfg.recordLimitMB = clampToUInt32(fieldNumber(totalLimit_));
    cfg.recordFileMB = clampToUInt32(fieldNumber(fileLimit_));
    cfg.recordLimitPolicy = policy();
}

}  // namespace vidora::settingsui
