// The "More settings" dialog as the user works it: what it shows from vidora.ini, what Ok
// writes, and what the user is told when the file cannot be written.
#include <gtest/gtest.h>

#include <QSpinBox>
#include <QTabWidget>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/message_box.h"
#include "app/preference_keys.h"
#include "test_support.h"
#include "tests/app/temp_dir.h"
#include "ui/more_settings_dialog.h"

namespace vidora::test {
namespace {

class MoreSettingsTest : public ::testing::Test {
  protected:
    MoreSettingsTest() {
        testApplication();
        setMessageBoxPresenter([this](const MessageBoxRequest& r) {
            boxes.push_back(r);
            return IDOK;
        });
    }
    ~MoreSettingsTest() override { setMessageBoxPresenter({}); }

    static QSpinBox* seconds(MoreSettingsDialog& dialog) {
        return dialog.findChild<QSpinBox*>("preAlarmSeconds");
    }

    ScopedTempDir dir;
    std::vector<MessageBoxRequest> boxes;
};

TEST_F(MoreSettingsTest, ShowsTheStoredValueAndOkWritesTheFileAndTellsTheViewer) {
    std::ofstream("vidora.ini") << "[alarm]\npreAlarmSeconds=12\n[other]\nkept=1\n";
    Preferences prefs;
    prefs.load(dir.path() / "vidora.ini");
    int heard = 0;
    prefs.addListener([&heard] { ++heard; });

    MoreSettingsDialog dialog(prefs, moreSettingsPages());
    EXPECT_EQ(dialog.windowTitle(), "More settings");
    ASSERT_EQ(dialog.tabs()->count(), 1);
    EXPECT_EQ(dialog.tabs()->tabText(0), "Alarm recording");
    ASSERT_NE(seconds(dialog), nullptr);
    EXPECT_EQ(seconds(dialog)->value(), 12);
    EXPECT_EQ(seconds(dialog)->minimum(), 0);
    EXPECT_EQ(seconds(dialog)->maximum(), 30);

    seconds(dialog)->setValue(20);
    EXPECT_TRUE(dialog.confirm());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(heard, 1);
    EXPECT_TRUE(boxes.empty());

    Preferences reread;
    reread.load(dir.path() / "vidora.ini");
    EXPECT_EQ(reread.get(kPreAlarmSeconds), 20);
    EXPECT_EQ(reread.raw().at("other/kept"), "1");
}

TEST_F(MoreSettingsTest, AFileThatCannotBeWrittenIsReportedAndTheDialogStaysOpen) {
    Preferences prefs;
    const auto file = dir.path() / "gone" / "vidora.ini";  // its folder does not exist
    prefs.load(file);
    int heard = 0;
    prefs.addListener([&heard] { ++heard; });

    MoreSettingsDialog dialog(prefs, moreSettingsPages());
    seconds(dialog)->setValue(3);
    EXPECT_FALSE(dialog.confirm());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(heard, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "Cannot save the settings to " + file.string() + ": No such file or directory");
    EXPECT_EQ(boxes[0].caption, "Vidora");
    EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONWARNING);
    EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
}  // namespace vidora::test
