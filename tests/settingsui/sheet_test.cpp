// The sheet as ShowConfigDialog runs it: the working copy, Ok and Cancel, start pages, pages
// created on first show, and the Security page refusing to be left.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <functional>

#include "settingsui/config_dialog.h"
#include "settingsui/control_ids.h"
#include "settingsui/param_set_sheet.h"
#include "test_support.h"

namespace vidora::settingsui::test {
namespace {

class Sheet : public ::testing::Test {
  protected:
    // Runs the modal sheet; script acts on it once it is shown and must close it.
    int run(int startPage, const std::function<void(CParamSetSheet&)>& script) {
        QTimer::singleShot(0, [&] {
            auto* sheet = dynamic_cast<CParamSetSheet*>(QApplication::activeModalWidget());
            ASSERT_NE(sheet, nullptr);
            script(*sheet);
            if (sheet->isVisible()) {
                ADD_FAILURE() << "the script left the sheet open";
                sheet->reject();
            }
        });
        return runConfigDialog(nullptr, startPage, &config, &FakeViewer::callback, dialogs, disk);
    }
    bool unchanged() const { return std::memcmp(&before, &config, sizeof config) == 0; }

    VidoraConfig config = defaultConfig();
    const VidoraConfig before = config;
    FakeDialogs dialogs;
    FakeDiskSpace disk;
    FakeViewer viewer;
};

TEST_F(Sheet, CancelDiscardsEditsOnEveryPage) {
    const int result = run(CParamSetSheet::kSecurity, [](CParamSetSheet& sheet) {
        control<QCheckBox>(sheet.page(0), ids::password::kAskPassword)
            ->click();  // password on, in the working copy
        control<QLineEdit>(sheet.page(0), ids::password::kNewPassword)->setText("pw");
        control<QLineEdit>(sheet.page(0), ids::password::kConfirmPassword)->setText("pw");
        ASSERT_TRUE(sheet.setActivePage(CParamSetSheet::kDisplay));
        control<QLineEdit>(sheet.page(1), ids::display::kChannelName1)->setText("Front door");
        ASSERT_TRUE(sheet.setActivePage(CParamSetSheet::kAlarm));
        control<QCheckBox>(sheet.page(2), ids::alarm::kMotion1)->click();
        ASSERT_TRUE(sheet.setActivePage(CParamSetSheet::kRecord));
        control<QLineEdit>(sheet.page(3), ids::record::kTotalLimit)->setText("1");
        sheet.cancelButton()->click();
    });
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(unchanged());
}

TEST_F(Sheet, EscapeCancelsToo) {
    const int result = run(CParamSetSheet::kDisplay, [](CParamSetSheet& sheet) {
        control<QLineEdit>(sheet.page(1), ids::display::kChannelName1)->setText("Yard");
        QTest::keyClick(&sheet, Qt::Key_Escape);
    });
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(unchanged());
}

TEST_F(Sheet, OkWritesBackEveryCreatedPage) {
    const int result = run(CParamSetSheet::kDisplay, [](CParamSetSheet& sheet) {
        control<QLineEdit>(sheet.page(1), ids::display::kChannelName1)->setText("Front door");
        ASSERT_TRUE(sheet.setActivePage(CParamSetSheet::kAlarm));
        control<QCheckBox>(sheet.page(2), ids::alarm::kMotion1)->click();
        ASSERT_TRUE(sheet.setActivePage(CParamSetSheet::kAbout));
        sheet.okButton()->click();
    });
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(config.channelName[0], "Front door");
    EXPECT_EQ(config.motionAlarmChannel[0], 1);
}

TEST_F(Sheet, OkOnTheRecordPageOnlyRecomputesTheFrameRate) {
    config.recordFps = 12;
    // A folder written elsewhere in another code page, with bytes after its NUL: the untouched
    // path field hands it back byte for byte.
    std::memcpy(config.recordFolder, "D:\\\xC2\xBC\xCF\xF1\0stale", 12);
    VidoraConfig expected = config;
    expected.recordFps = 10;
    bool onlyRecordCreated = false;
    const int result = run(CParamSetSheet::kRecord, [&](CParamSetSheet& sheet) {
        onlyRecordCreated = true;
        for (int i = 0; i < CParamSetSheet::kPageCount; ++i) {
            onlyRecordCreated &= sheet.page(i)->isCreated() == (i == CParamSetSheet::kRecord);
        }
        sheet.okButton()->click();
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(onlyRecordCreated);
    EXPECT_EQ(std::memcmp(&expected, &config, sizeof config), 0);
}

TEST_F(Sheet, PalCapsTheFrameRateThatTheRecordPageStores) {
    config.videoStandard = 2;
    config.recordFps = 30;
    const int result = run(CParamSetSheet::kRecord, [](CParamSetSheet& sheet) {
        EXPECT_EQ(control<QComboBox>(sheet.page(3), ids::record::kFrameRate)->currentText(), "30");
        ASSERT_TRUE(sheet.setActivePage(CParamSetSheet::kDisplay));
        control<QComboBox>(sheet.page(1), ids::display::kStandard)->setCurrentIndex(0);  // PAL
        sheet.okButton()->click();
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(config.videoStandard, 1);
    EXPECT_EQ(config.recordFps, 25);
}

TEST_F(Sheet, OkWithoutChangesReturnsTheSameRecordFromEveryStartPage) {
    for (int start = 0; start < CParamSetSheet::kPageCount; ++start) {
        const int result = run(start, [&](CParamSetSheet& sheet) {
            EXPECT_EQ(sheet.activePage(), start);
            sheet.okButton()->click();
        });
        EXPECT_EQ(result, 0) << start;
        EXPECT_TRUE(unchanged()) << start;
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Sheet, CaptionTabsAndOnlyOkAndCancel) {
    run(CParamSetSheet::kAbout, [](CParamSetSheet& sheet) {
        EXPECT_EQ(sheet.windowTitle(), "Vidora Setup");
        auto* tabs = sheet.findChild<QTabBar*>();
        ASSERT_NE(tabs, nullptr);
        QStringList captions;
        for (int i = 0; i < tabs->count(); ++i) {
            captions << tabs->tabText(i);
        }
        EXPECT_EQ(captions, QStringList({"Security", "Display", "Alarm", "Record", "Capture",
                                         "Plan task", "About"}));
        EXPECT_EQ(tabs->currentIndex(), CParamSetSheet::kAbout);
        auto* box = sheet.findChild<QDialogButtonBox*>();
        ASSERT_NE(box, nullptr);
        QStringList buttons;
        for (QAbstractButton* button : box->buttons()) {
            buttons << button->text();
            EXPECT_TRUE(button->isVisible());
        }
        buttons.sort();
        EXPECT_EQ(buttons, QStringList({"Cancel", "Ok"}));
        sheet.cancelButton()->click();
    });
}

TEST_F(Sheet, SecurityRefusesToBeLeftWithoutTheOldPassword) {
    config.askPassword = 1;
    std::strcpy(config.password, "Secret");
    const VidoraConfig original = config;
    const int result = run(CParamSetSheet::kSecurity, [&](CParamSetSheet& sheet) {
        auto* tabs = sheet.findChild<QTabBar*>();
        tabs->setCurrentIndex(CParamSetSheet::kAlarm);  // as a click on the tab does
        EXPECT_EQ(sheet.activePage(), CParamSetSheet::kSecurity);
        EXPECT_EQ(tabs->currentIndex(), CParamSetSheet::kSecurity);
        EXPECT_FALSE(sheet.page(CParamSetSheet::kAlarm)->isCreated());

        sheet.okButton()->click();
        EXPECT_TRUE(sheet.isVisible());
        ASSERT_EQ(dialogs.messages.size(), 2u);
        EXPECT_EQ(dialogs.messages[1].text, "The old password is incorrect.");

        control<QLineEdit>(sheet.page(0), ids::password::kOldPassword)->setText("Secret");
        tabs->setCurrentIndex(CParamSetSheet::kAlarm);
        EXPECT_EQ(sheet.activePage(), CParamSetSheet::kAlarm);
        EXPECT_EQ(dialogs.messages.size(), 2u);
        sheet.cancelButton()->click();  // Cancel always closes
    });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(std::memcmp(&original, &config, sizeof config), 0);
}

TEST_F(Sheet, ClearingThePasswordAndOkSwitchesItOff) {
    config.askPassword = 1;
    std::strcpy(config.password, "Secret");
    const int result = run(CParamSetSheet::kSecurity, [](CParamSetSheet& sheet) {
        control<QCheckBox>(sheet.page(0), ids::password::kAskPassword)->click();
        sheet.okButton()->click();
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(config.askPassword, 0);
    EXPECT_EQ(std::string(config.password, 32), std::string(32, '\0'));
}

TEST_F(Sheet, StartingElsewhereNeverRunsTheSecurityCheck) {
    config.askPassword = 1;
    std::strcpy(config.password, "Secret");
    const int result = run(CParamSetSheet::kDisplay, [](CParamSetSheet& sheet) {
        EXPECT_TRUE(sheet.setActivePage(CParamSetSheet::kAlarm));
        EXPECT_TRUE(sheet.setActivePage(CParamSetSheet::kAbout));
        EXPECT_FALSE(sheet.page(CParamSetSheet::kSecurity)->isCreated());
        sheet.okButton()->click();
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_STREQ(config.password, "Secret");
}

TEST_F(Sheet, TaskChangesStandAfterCancel) {
    const int result = run(CParamSetSheet::kPlanTask, [](CParamSetSheet& sheet) {
        control<QPushButton>(sheet.page(5), ids::plan::kNew)->click();
        control<QPushButton>(sheet.page(5), ids::plan::kAdd)->click();
        sheet.cancelButton()->click();
    });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(viewer.tasks().size(), 1u);
    EXPECT_TRUE(unchanged());
}

TEST_F(Sheet, OddArgumentsAreHandled) {
    const int result = run(42, [](CParamSetSheet& sheet) {
        EXPECT_EQ(sheet.activePage(), CParamSetSheet::kSecurity);
        sheet.okButton()->click();
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(runConfigDialog(nullptr, 0, nullptr, nullptr, dialogs, disk), -1);

    // Without a callback the live adjustments and the task list are simply not reached.
    QTimer::singleShot(0, [] {
        auto* sheet = dynamic_cast<CParamSetSheet*>(QApplication::activeModalWidget());
        ASSERT_NE(sheet, nullptr);
        ASSERT_TRUE(sheet->setActivePage(CParamSetSheet::kPlanTask));
        control<QPushButton>(sheet->page(5), ids::plan::kNew)->click();
        control<QPushButton>(sheet->page(5), ids::plan::kAdd)->click();
        ASSERT_TRUE(sheet->setActivePage(CParamSetSheet::kDisplay));
        control<QPushButton>(sheet->page(1), ids::display::kDefaults)->click();
        sheet->okButton()->click();
    });
    EXPECT_EQ(runConfigDialog(nullptr, 0, &config, nullptr, dialogs, disk), 0);
}

}  // namespace
}  // namespace vidora::settingsui::test
