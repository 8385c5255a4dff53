// The "More settings" dialog as the user works it: what it shows from vidora.ini, what Ok
// writes, and what the user is told when the file cannot be written.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
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

std::vector<std::unique_ptr<MoreSettingsPage>> receiverOnly(std::vector<media::DeviceInfo> seen) {
    std::vector<std::unique_ptr<MoreSettingsPage>> pages;
    pages.push_back(receiverPage([seen] { return seen; }));
    return pages;
}

QStringList itemsOf(QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

TEST_F(MoreSettingsTest, TheReceiverPageListsTheDevicesAndKeepsTheChosenNode) {
    std::ofstream("vidora.ini") << "[alarm]\npreAlarmSeconds=7\n";
    Preferences prefs;
    prefs.load(dir.path() / "vidora.ini");
    const std::vector<media::DeviceInfo> seen{{"Integrated Camera", "/dev/video0"},
                                              {"USB2.0 PC CAMERA", "/dev/video2"}};
    {
        MoreSettingsDialog dialog(prefs, receiverOnly(seen));
        EXPECT_EQ(dialog.tabs()->tabText(0), "Receiver");
        auto* box = dialog.findChild<QComboBox*>("receiverDevice");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(itemsOf(box), (QStringList{"Any device named \"Halcap Capture\"",
                                             "Integrated Camera (/dev/video0)",
                                             "USB2.0 PC CAMERA (/dev/video2)"}));
        EXPECT_EQ(box->currentIndex(), 0) << "nothing chosen yet: the name match";
        box->setCurrentIndex(2);
        EXPECT_TRUE(dialog.confirm());
    }
    Preferences reread;
    reread.load(dir.path() / "vidora.ini");
    EXPECT_EQ(reread.get(kReceiverDevice), "/dev/video2");
    EXPECT_EQ(reread.get(kPreAlarmSeconds), 7);

    // Unplugged, the chosen node is still shown and kept.
    MoreSettingsDialog dialog(reread, receiverOnly({seen[0]}));
    auto* box = dialog.findChild<QComboBox*>("receiverDevice");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->currentText(), "/dev/video2 (not connected)");
    EXPECT_TRUE(dialog.confirm());
    Preferences again;
    again.load(dir.path() / "vidora.ini");
    EXPECT_EQ(again.get(kReceiverDevice), "/dev/video2");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(MoreSettingsTest, ShowsTheStoredValueAndOkWritesTheFileAndTellsTheViewer) {
    std::ofstream("vidora.ini") << "[alarm]\npreAlarmSeconds=12\n[other]\nkept=1\n";
    Preferences prefs;
    prefs.load(dir.path() / "vidora.ini");
    int heard = 0;
    prefs.addListener([&heard] { ++heard; });

    MoreSettingsDialog dialog(prefs, moreSettingsPages());
    EXPECT_EQ(dialog.windowTitle(), "More settings");
    ASSERT_EQ(dialog.tabs()->count(), 3);
    EXPECT_EQ(dialog.tabs()->tabText(0), "Alarm recording");
    EXPECT_EQ(dialog.tabs()->tabText(1), "Receiver");
    EXPECT_EQ(dialog.tabs()->tabText(2), "Network stream");
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

TEST_F(MoreSettingsTest, NetworkStreamPageRefusesOtherComputersWithoutALoginAndStoresTheKeys) {
    Preferences prefs;
    prefs.load(dir.path() / "vidora.ini");
    int heard = 0;
    prefs.addListener([&heard] { ++heard; });
    MoreSettingsDialog dialog(prefs, moreSettingsPages());
    int page = -1;
    for (int i = 0; i < dialog.tabs()->count(); ++i) {
        if (dialog.tabs()->tabText(i) == "Network stream")
            page = i;
    }
    ASSERT_GE(page, 0);
    auto* enabled = dialog.findChild<QCheckBox*>("streamEnabled");
    auto* others = dialog.findChild<QCheckBox*>("streamAllowOthers");
    auto* user = dialog.findChild<QLineEdit*>("streamUser");
    auto* password = dialog.findChild<QLineEdit*>("streamPassword");
    auto* port = dialog.findChild<QSpinBox*>("streamPort");
    auto* address = dialog.findChild<QLabel*>("streamAddress");
    ASSERT_TRUE(enabled && others && user && password && port && address);
    // Off by default, on 8554, loopback only, and the password never shown.
    EXPECT_FALSE(enabled->isChecked());
    EXPECT_EQ(port->value(), 8554);
    EXPECT_FALSE(others->isChecked());
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(address->text(), "rtsp://127.0.0.1:8554/live");

    enabled->setChecked(true);
    others->setChecked(true);
    user->setText("anna");
    EXPECT_FALSE(dialog.confirm());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Allowing other computers needs a user name and a password.");
    EXPECT_EQ(dialog.tabs()->currentIndex(), page);
    EXPECT_EQ(heard, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "vidora.ini"));

    password->setText("s3cret");
    port->setValue(9554);
    EXPECT_TRUE(dialog.confirm());
    EXPECT_EQ(heard, 1);
    std::ifstream in(dir.path() / "vidora.ini");
    std::stringstream text;
    text << in.rdbuf();
    for (const char* line : {"enabled=true", "port=9554", "allowOthers=true", "user=anna",
                             "password=s3cret", "maxClients=4"})
        EXPECT_NE(text.str().find(line), std::string::npos) << line << " in " << text.str();
}

}  // namespace
}  // namespace vidora::test
