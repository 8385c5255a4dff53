// Record and Capture pages: the drive list, the lists chosen by the video standard, the
// free-space and single-file warnings, the folder browser and the write-back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <algorithm>

#include "settingsui/capture_setup.h"
#include "settingsui/control_ids.h"
#include "settingsui/field_text.h"
#include "settingsui/record_setup.h"
#include "test_support.h"

namespace vidora::settingsui::test {
namespace {

constexpr std::uint64_t kMB = 1048576;

QStringList items(const QComboBox* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) {
        texts << list->itemText(i);
    }
    return texts;
}

TEST(FreeSpaceText, GroupsThousandsAndPadsToTwentyFiveCharacters) {
    EXPECT_EQ(formatFreeSpace(123456 * kMB), QString(18, ' ') + "123,456MB");
    EXPECT_EQ(formatFreeSpace(1234567 * kMB + kMB - 1), QString(16, ' ') + "1,234,567MB");
    EXPECT_EQ(formatFreeSpace(999 * kMB), QString(22, ' ') + "999MB");
    EXPECT_EQ(formatFreeSpace(1000 * kMB), QString(20, ' ') + "1,000MB");
    EXPECT_EQ(formatFreeSpace(0), QString(24, ' ') + "0MB");
    // 2^64 - 1 bytes: 17,592,186,044,415 MB, still shorter than 25 characters.
    EXPECT_EQ(formatFreeSpace(~std::uint64_t{0}), QString(7, ' ') + "17,592,186,044,415MB");
}

TEST(FieldText, StoresWithinTheFieldAndCutsAtCharacterBoundaries) {
    char field[8];
    std::memset(field, 'z', sizeof field);
    EXPECT_TRUE(storeFieldText(field, "abc"));
    EXPECT_EQ(std::string(field, sizeof field), std::string("abc\0\0\0\0\0", 8));
    // Seven bytes fit before the NUL: two three-byte characters, not half of a third.
    EXPECT_FALSE(storeFieldText(field, QString(3, QChar(0x5F55))));
    EXPECT_EQ(QString::fromUtf8(field), QString(2, QChar(0x5F55)));
    EXPECT_EQ(field[6], '\0');

    const char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(fieldText(unterminated), "abcd");
}

TEST(DesktopDiskSpace, ListsMountedVolumesAndAnswersForExistingFoldersOnly) {
    const StorageInfoDiskSpace disk;
    const std::vector<Volume> volumes = disk.volumes();
    ASSERT_FALSE(volumes.empty());
    EXPECT_TRUE(std::is_sorted(
        volumes.begin(), volumes.end(),
        [](const Volume& a, const Volume& b) { return a.mountPoint < b.mountPoint; }));
    EXPECT_TRUE(std::any_of(volumes.begin(), volumes.end(),
                            [](const Volume& v) { return v.mountPoint == "/"; }));

    const QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_TRUE(disk.freeBytes(dir.path()).has_value());
    // Folders stored on Windows use backslashes.
    EXPECT_TRUE(disk.freeBytes(QString(dir.path()).replace('/', '\\')).has_value());
    EXPECT_FALSE(disk.freeBytes(dir.path() + "/missing").has_value());
}

class RecordPage : public ::testing::Test {
  protected:
    QLineEdit* edit(int id) { return h.get<QLineEdit>(id); }
    PageHarness<CRecordSetup> h;
};

TEST_F(RecordPage, ListsTheVolumesWithTheirFreeSpace) {
    h.disk.volumeList = {{"/", 123456 * kMB}, {"/media/usb", 999 * kMB + 5}};
    h.open();
    auto* drives = h.get<QTableWidget>(ids::record::kDrives);
    EXPECT_TRUE(drives->showGrid());
    EXPECT_EQ(drives->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(drives->horizontalHeaderItem(0)->text(), "  Disk");
    EXPECT_EQ(drives->horizontalHeaderItem(1)->text(), "                 Remain space");
    ASSERT_EQ(drives->rowCount(), 2);
    EXPECT_EQ(drives->item(0, 0)->text(), "    /");
    EXPECT_EQ(drives->item(0, 1)->text(), QString(18, ' ') + "123,456MB");
    EXPECT_EQ(drives->item(1, 0)->text(), "    /media/usb");
    EXPECT_EQ(drives->item(1, 1)->text(), QString(22, ' ') + "999MB");
}

TEST_F(RecordPage, PalListsAndSelection) {
    h.config.recordFps = 25;
    h.config.recordImageSize = 2;
    h.open();
    auto* rate = h.get<QComboBox>(ids::record::kFrameRate);
    EXPECT_EQ(items(rate), QStringList({"5", "10", "15", "20", "25"}));
    EXPECT_EQ(rate->currentText(), "25");
    auto* size = h.get<QComboBox>(ids::record::kImageSize);
    EXPECT_EQ(items(size), QStringList({"720*576", "352*576", "352*288"}));
    EXPECT_EQ(size->currentText(), "352*576");
    EXPECT_EQ(items(h.get<QComboBox>(ids::record::kCompression)), QStringList({"MPEG4"}));
    EXPECT_EQ(h.get<QComboBox>(ids::record::kCompression)->currentIndex(), 0);
    EXPECT_EQ(items(h.get<QComboBox>(ids::record::kFileFormat)), QStringList({"AVI"}));
    EXPECT_EQ(h.get<QComboBox>(ids::record::kFileFormat)->currentIndex(), 0);
    EXPECT_EQ(edit(ids::record::kFolder)->text(), "./RECORD");
    EXPECT_TRUE(edit(ids::record::kFolder)->isReadOnly());
    EXPECT_EQ(edit(ids::record::kTotalLimit)->text(), "5120");
    EXPECT_EQ(edit(ids::record::kFileLimit)->text(), "64");
    EXPECT_TRUE(h.get<QRadioButton>(ids::record::kDeleteOldest)->isChecked());
}

TEST_F(RecordPage, NtscListsAndSelection) {
    h.config.videoStandard = 2;
    h.config.recordFps = 30;
    h.config.recordLimitPolicy = 2;
    h.open();
    auto* rate = h.get<QComboBox>(ids::record::kFrameRate);
    EXPECT_EQ(items(rate), QStringList({"5", "10", "15", "20", "25", "30"}));
    EXPECT_EQ(rate->currentText(), "30");
    EXPECT_EQ(items(h.get<QComboBox>(ids::record::kImageSize)),
              QStringList({"720*480", "352*480", "352*240"}));
    EXPECT_EQ(h.get<QComboBox>(ids::record::kImageSize)->currentText(), "352*240");
    EXPECT_TRUE(h.get<QRadioButton>(ids::record::kStopAndNotify)->isChecked());
}

TEST_F(RecordPage, FrameRateComesBackAsTheMultipleOfFiveShown) {
    h.config.recordFps = 12;
    h.open();
    EXPECT_EQ(h.get<QComboBox>(ids::record::kFrameRate)->currentText(), "10");
    h.page->writeBack();
    EXPECT_EQ(h.config.recordFps, 10);
}

TEST_F(RecordPage, ValuesOutsideTheListsAreKept) {
    h.config.recordFps = 30;  // PAL list ends at 25
    h.config.recordImageSize = 7;
    h.open();
    EXPECT_EQ(h.get<QComboBox>(ids::record::kFrameRate)->currentIndex(), -1);
    EXPECT_EQ(h.get<QComboBox>(ids::record::kImageSize)->currentIndex(), -1);
    h.page->writeBack();
    EXPECT_EQ(h.config.recordFps, 30);
    EXPECT_EQ(h.config.recordImageSize, 7);
}

TEST_F(RecordPage, TotalLimitAtOrAboveTheFreeSpaceWarnsWithTwoDecimals) {
    h.disk.free = 1000 * kMB + kMB / 2;  // 1000.50 MB
    h.open();
    typeInto(edit(ids::record::kTotalLimit), "2000");
    leaveField(edit(ids::record::kTotalLimit), edit(ids::record::kFileLimit));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(
        h.dialogs.messages[0].text,
        QStringLiteral("输入的总大小比磁盘剩余空间还大！\n(当前路径下的最大空间为1000.50MB)"));
    EXPECT_EQ(h.dialogs.messages[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(QApplication::focusWidget(), edit(ids::record::kTotalLimit));
    EXPECT_EQ(edit(ids::record::kTotalLimit)->selectedText(), "2000");
    EXPECT_EQ(h.disk.queriedFolders.back(), "./RECORD");

    typeInto(edit(ids::record::kTotalLimit), "1000");
    leaveField(edit(ids::record::kTotalLimit), edit(ids::record::kFileLimit));
    EXPECT_EQ(h.dialogs.messages.size(), 1u);

    h.disk.free.reset();  // the folder cannot be queried: no check
    typeInto(edit(ids::record::kTotalLimit), "999999");
    leaveField(edit(ids::record::kTotalLimit), edit(ids::record::kFileLimit));
    EXPECT_EQ(h.dialogs.messages.size(), 1u);

    h.page->writeBack();  // the warning does not change what is stored
    EXPECT_EQ(h.config.recordLimitMB, 999999u);
}

TEST_F(RecordPage, SingleFileAsLargeAsTheTotalWarns) {
    h.open();
    typeInto(edit(ids::record::kFileLimit), "5120");
    leaveField(edit(ids::record::kFileLimit), edit(ids::record::kTotalLimit));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text, QStringLiteral("单个文件大小不能超过总的存储空间!"));
    EXPECT_EQ(h.dialogs.messages[0].caption, "settingsui");
    EXPECT_EQ(QApplication::focusWidget(), edit(ids::record::kFileLimit));

    typeInto(edit(ids::record::kFileLimit), "5119");
    leaveField(edit(ids::record::kFileLimit), edit(ids::record::kTotalLimit));
    EXPECT_EQ(h.dialogs.messages.size(), 1u);
}

TEST_F(RecordPage, WritesFolderLimitsAndPolicyBack) {
    h.open();
    h.dialogs.folderToChoose = "/srv/video";
    h.get<QPushButton>(ids::record::kBrowse)->click();
    EXPECT_EQ(h.dialogs.browserTitles, std::vector<QString>{"select folder ..."});
    EXPECT_EQ(edit(ids::record::kFolder)->text(), "/srv/video");
    h.dialogs.folderToChoose.clear();  // cancelled: nothing changes
    h.get<QPushButton>(ids::record::kBrowse)->click();
    EXPECT_EQ(edit(ids::record::kFolder)->text(), "/srv/video");

    typeInto(edit(ids::record::kTotalLimit), "8000");
    typeInto(edit(ids::record::kFileLimit), "128");
    h.get<QRadioButton>(ids::record::kStopAndNotify)->click();
    h.get<QComboBox>(ids::record::kImageSize)->setCurrentIndex(0);
    h.get<QComboBox>(ids::record::kFrameRate)->setCurrentIndex(4);
    h.page->writeBack();
    EXPECT_STREQ(h.config.recordFolder, "/srv/video");
    EXPECT_EQ(h.config.recordLimitMB, 8000u);
    EXPECT_EQ(h.config.recordFileMB, 128u);
    EXPECT_EQ(h.config.recordLimitPolicy, 2);
    EXPECT_EQ(h.config.recordImageSize, 1);
    EXPECT_EQ(h.config.recordFps, 25);
}

TEST_F(RecordPage, RefusesAFolderPathLongerThanTheField) {
    h.open();
    h.dialogs.folderToChoose = "/" + QString(255, QLatin1Char('d'));  // 256 bytes
    h.get<QPushButton>(ids::record::kBrowse)->click();
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].caption, "Error");
    EXPECT_TRUE(h.dialogs.messages[0].text.contains("too long"));
    EXPECT_EQ(edit(ids::record::kFolder)->text(), "./RECORD");

    h.dialogs.folderToChoose = "/" + QString(254, QLatin1Char('d'));  // 255 bytes: fits
    h.get<QPushButton>(ids::record::kBrowse)->click();
    EXPECT_EQ(h.dialogs.messages.size(), 1u);
    h.page->writeBack();
    EXPECT_EQ(std::strlen(h.config.recordFolder), 255u);
    EXPECT_EQ(h.config.reservedA, 1);  // the field after it is untouched
}

TEST_F(RecordPage, LimitsAreNumbersWithinTheirFields) {
    h.open();
    typeInto(edit(ids::record::kTotalLimit), "9999999999");  // beyond 32 bits
    edit(ids::record::kFileLimit)->clear();
    h.page->writeBack();
    EXPECT_EQ(h.config.recordLimitMB, 4294967295u);
    EXPECT_EQ(h.config.recordFileMB, 0u);
}

class CapturePage : public ::testing::Test {
  protected:
    PageHarness<CCaptureSetup> h;
};

TEST_F(CapturePage, ShowsAndWritesBackFormatSizeLimitAndPolicy) {
    h.config.pictureFormat = 2;
    h.config.pictureSize = 3;
    h.config.pictureLimitPolicy = 2;
    std::memcpy(h.config.pictureFolder, "\xD5\xD5\xC6\xAC", 5);  // another code page
    const VidoraConfig before = h.config;
    h.open();
    auto* format = h.get<QComboBox>(ids::capture::kFormat);
    EXPECT_EQ(items(format), QStringList({"JPG", "BMP"}));
    EXPECT_EQ(format->currentText(), "BMP");
    auto* size = h.get<QComboBox>(ids::capture::kSize);
    EXPECT_EQ(items(size), QStringList({"720*576", "352*576", "352*288"}));
    EXPECT_EQ(size->currentText(), "352*288");
    EXPECT_EQ(h.get<QLineEdit>(ids::capture::kLimit)->text(), "1024");
    EXPECT_TRUE(h.get<QRadioButton>(ids::capture::kStopAndNotify)->isChecked());
    h.page->writeBack();
    EXPECT_EQ(std::memcmp(&before, &h.config, sizeof before), 0);

    format->setCurrentIndex(0);
    size->setCurrentIndex(1);
    h.get<QRadioButton>(ids::capture::kDeleteOldest)->click();
    typeInto(h.get<QLineEdit>(ids::capture::kLimit), "300");
    h.dialogs.folderToChoose = "/srv/pictures";
    h.get<QPushButton>(ids::capture::kBrowse)->click();
    h.page->writeBack();
    EXPECT_EQ(h.config.pictureFormat, 1);
    EXPECT_EQ(h.config.pictureSize, 2);
    EXPECT_EQ(h.config.pictureLimitPolicy, 1);
    EXPECT_EQ(h.config.pictureLimitMB, 300u);
    EXPECT_STREQ(h.config.pictureFolder, "/srv/pictures");
    EXPECT_EQ(h.dialogs.browserTitles, std::vector<QString>{"select folder ..."});
}

TEST_F(CapturePage, UnknownStandardLeavesTheSizeListEmptyAndTheSizeStored) {
    h.config.videoStandard = 3;
    h.config.pictureSize = 2;
    h.open();
    EXPECT_EQ(h.get<QComboBox>(ids::capture::kSize)->count(), 0);
    h.page->writeBack();
    EXPECT_EQ(h.config.pictureSize, 2);
}

TEST_F(CapturePage, LimitAboveTheFreeSpaceWarnsAndIsKept) {
    h.disk.free = 300 * kMB;
    h.open();
    auto* limit = h.get<QLineEdit>(ids::capture::kLimit);
    typeInto(limit, "300");
    leaveField(limit, h.get<QComboBox>(ids::capture::kFormat));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text,
              QStringLiteral("输入的总大小比磁盘剩余空间还大！\n(当前路径下的最大空间为300.00MB)"));
    EXPECT_EQ(QApplication::focusWidget(), limit);
    EXPECT_EQ(h.disk.queriedFolders.back(), "./SNAPSHOT");
    h.page->writeBack();
    EXPECT_EQ(h.config.pictureLimitMB, 300u);
}

TEST_F(CapturePage, RefusesAFolderPathLongerThanTheField) {
    h.open();
    h.dialogs.folderToChoose = "/" + QString(100, QChar(0x76EE));  // 301 bytes
    h.get<QPushButton>(ids::capture::kBrowse)->click();
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.get<QLineEdit>(ids::capture::kFolder)->text(), "./SNAPSHOT");
}

}  // namespace
}  // namespace vidora::settingsui::test
