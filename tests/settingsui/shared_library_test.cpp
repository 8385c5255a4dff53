// The exported entry point as the viewer reaches it: through libsettingsui.so.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTimer>
#include <cstring>

#include "settingsui/settingsui.h"

namespace {

using vidora::VidoraConfig;

VidoraConfig sampleConfig() {
    VidoraConfig c;
    std::memset(&c, 0, sizeof c);
    c.videoStandard = 1;
    c.recordImageSize = 3;
    c.recordFps = 12;
    c.recordLimitMB = 5120;
    c.recordFileMB = 64;
    c.recordLimitPolicy = 1;
    std::strcpy(c.recordFolder, "./RECORD");
    std::strcpy(c.channelName[0], "CH1");
    c.cycleSeconds = 5;
    return c;
}

// Presses the sheet's button with this text once the modal sheet is up.
void pressWhenShown(const QString& text, QString* title) {
    QTimer::singleShot(0, [text, title] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        *title = modal->windowTitle();
        for (QPushButton* button : modal->findChildren<QPushButton*>()) {
            if (button->text() == text) {
                button->click();
                return;
            }
        }
        ADD_FAILURE() << "no button " << qPrintable(text);
        static_cast<QDialog*>(modal)->reject();
    });
}

TEST(SharedLibrary, CancelLeavesTheRecordAlone) {
    VidoraConfig config = sampleConfig();
    const VidoraConfig before = config;
    QString title;
    pressWhenShown("Cancel", &title);
    EXPECT_EQ(ShowConfigDialog(nullptr, 3, &config, nullptr), -1);
    EXPECT_EQ(title, "Vidora Setup");
    EXPECT_EQ(std::memcmp(&before, &config, sizeof config), 0);
}

TEST(SharedLibrary, OkCopiesTheWorkingRecordBack) {
    VidoraConfig config = sampleConfig();
    VidoraConfig expected = config;
    expected.recordFps = 10;  // the Record page shows 12 as "10"
    QString title;
    pressWhenShown("Ok", &title);
    QWidget owner;
    EXPECT_EQ(ShowConfigDialog(&owner, 3, &config, nullptr), 0);
    EXPECT_EQ(std::memcmp(&expected, &config, sizeof config), 0);
}

}  // namespace
