// Display page and About page: names, the loop interval and its warnings, the live picture
// adjustments through the callback, and the video standard with its frame-rate cap.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "settingsui/about.h"
#include "settingsui/control_ids.h"
#include "settingsui/display_setup.h"
#include "settingsui/up_down.h"
#include "test_support.h"

namespace vidora::settingsui::test {
namespace {

class DisplayPage : public ::testing::Test {
  protected:
    DisplayPage() {
        const std::int32_t minimum[4] = {0, -10, 0, 0};
        const std::int32_t maximum[4] = {10000, 10, 10000, 10000};
        const std::int32_t defaults[4] = {5000, 0, 4000, 3000};
        for (int i = 0; i < 4; ++i) {
            h.config.adjustMin[i] = minimum[i];
            h.config.adjustMax[i] = maximum[i];
            h.config.adjustDefault[i] = defaults[i];
        }
    }
    QLineEdit* edit(int id) { return h.get<QLineEdit>(id); }

    PageHarness<CDisplaySetup> h;
};

TEST_F(DisplayPage, ShowsTheRecordAndWritesItBackUnchanged) {
    h.config.cycleSeconds = 3725;
    h.config.showTime = 0;
    std::strcpy(h.config.channelName[2], "Garage");
    // A name in another code page, and bytes after a NUL, pass through an untouched edit.
    std::memcpy(h.config.channelName[3], "\xC3\xC5\0old", 6);
    const VidoraConfig before = h.config;
    h.open();

    EXPECT_EQ(edit(ids::display::kChannelName1)->text(), "CH1");
    EXPECT_EQ(edit(ids::display::kChannelName2)->text(), "CH2");
    EXPECT_EQ(edit(ids::display::kChannelName3)->text(), "Garage");
    EXPECT_EQ(edit(ids::display::kCycleHours)->text(), "1");
    EXPECT_EQ(edit(ids::display::kCycleMinutes)->text(), "2");
    EXPECT_EQ(edit(ids::display::kCycleSeconds)->text(), "5");
    EXPECT_TRUE(h.get<QCheckBox>(ids::display::kShowDate)->isChecked());
    EXPECT_FALSE(h.get<QCheckBox>(ids::display::kShowTime)->isChecked());
    EXPECT_TRUE(h.get<QCheckBox>(ids::display::kShowChannelName)->isChecked());
    EXPECT_EQ(h.get<QComboBox>(ids::display::kStandard)->currentText(), "PAL");
    EXPECT_EQ(h.get<QSlider>(ids::display::kBrightness)->value(), 2119);
    EXPECT_EQ(h.get<QSlider>(ids::display::kBrightness)->maximum(), 10000);
    EXPECT_EQ(h.get<QSlider>(ids::display::kSharpness)->minimum(), -10);
    EXPECT_EQ(h.get<UpDown>(ids::display::kCycleSecondsUpDown)->minimum(), 3);
    EXPECT_TRUE(h.viewer.calls.empty());

    h.page->writeBack();
    EXPECT_EQ(std::memcmp(&before, &h.config, sizeof before), 0);
}

TEST_F(DisplayPage, SecondsBelowThreeWarnButAreStored) {
    h.open();
    EXPECT_EQ(edit(ids::display::kCycleHours)->text(), "0");
    EXPECT_EQ(edit(ids::display::kCycleMinutes)->text(), "0");
    EXPECT_EQ(edit(ids::display::kCycleSeconds)->text(), "5");

    typeInto(edit(ids::display::kCycleSeconds), "2");
    leaveField(edit(ids::display::kCycleSeconds), edit(ids::display::kChannelName1));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text, QStringLiteral("时间设置错误!"));
    EXPECT_EQ(h.dialogs.messages[0].caption, "diplay");
    EXPECT_EQ(QApplication::focusWidget(), edit(ids::display::kCycleSeconds));
    EXPECT_EQ(edit(ids::display::kCycleSeconds)->text(), "2");

    edit(ids::display::kCycleMinutes)->setText("60");
    edit(ids::display::kCycleSeconds)->setText("5");  // so that leaving it now is quiet
    leaveField(edit(ids::display::kCycleMinutes), edit(ids::display::kChannelName1));
    EXPECT_EQ(h.dialogs.messages.size(), 2u);
    EXPECT_EQ(QApplication::focusWidget(), edit(ids::display::kCycleMinutes));

    edit(ids::display::kCycleMinutes)->setText("1");
    edit(ids::display::kCycleSeconds)->setText("2");
    typeInto(edit(ids::display::kCycleHours), "30");  // hours are not checked
    leaveField(edit(ids::display::kCycleHours), edit(ids::display::kChannelName1));
    EXPECT_EQ(h.dialogs.messages.size(), 2u);

    h.page->writeBack();
    EXPECT_EQ(h.config.cycleSeconds, 30u * 3600 + 60 + 2);
}

TEST_F(DisplayPage, EverySliderPositionGoesToTheViewerOnce) {
    h.open();
    auto* brightness = h.get<QSlider>(ids::display::kBrightness);
    brightness->setFocus();
    QTest::keyClick(brightness, Qt::Key_Right);
    QTest::keyClick(brightness, Qt::Key_Right);
    QTest::keyClick(brightness, Qt::Key_PageUp);
    auto* sharpness = h.get<QSlider>(ids::display::kSharpness);
    sharpness->setValue(10);
    sharpness->setValue(10);  // no change, no call
    h.get<QSlider>(ids::display::kContrast)->triggerAction(QAbstractSlider::SliderSingleStepSub);
    h.get<QSlider>(ids::display::kSaturation)->setValue(9999);

    using Call = std::pair<int, std::intptr_t>;
    EXPECT_EQ(h.viewer.calls,
              (std::vector<Call>{{1, 2120}, {1, 2121}, {1, 3121}, {2, 10}, {3, 4666}, {4, 9999}}));
    // The record changes only when the page writes back.
    EXPECT_EQ(h.config.brightness, 2119);
    h.page->writeBack();
    EXPECT_EQ(h.config.brightness, 3121);
    EXPECT_EQ(h.config.sharpness, 10);
    EXPECT_EQ(h.config.contrast, 4666);
    EXPECT_EQ(h.config.saturation, 9999);
}

TEST_F(DisplayPage, DefaultSendsTheFourDefaultsInOrder) {
    h.open();
    h.get<QPushButton>(ids::display::kDefaults)->click();
    using Call = std::pair<int, std::intptr_t>;
    EXPECT_EQ(h.viewer.calls, (std::vector<Call>{{1, 5000}, {2, 0}, {3, 4000}, {4, 3000}}));
    EXPECT_EQ(h.get<QSlider>(ids::display::kBrightness)->value(), 5000);
    EXPECT_EQ(h.get<QSlider>(ids::display::kSaturation)->value(), 3000);
    h.page->writeBack();
    EXPECT_EQ(h.config.brightness, 5000);
    EXPECT_EQ(h.config.contrast, 4000);
}

TEST_F(DisplayPage, UntouchedSlidersKeepValuesOutsideAnEmptyRange) {
    // Without a receiver the viewer has no ranges yet: all zero.
    for (int i = 0; i < 4; ++i) {
        h.config.adjustMin[i] = h.config.adjustMax[i] = 0;
    }
    h.open();
    h.page->writeBack();
    EXPECT_EQ(h.config.brightness, 2119);
    EXPECT_EQ(h.config.contrast, 4667);
    EXPECT_EQ(h.config.saturation, 3765);
}

TEST_F(DisplayPage, PalCapsTheRecordFrameRate) {
    h.config.videoStandard = 2;
    h.config.recordFps = 30;
    h.open();
    EXPECT_EQ(h.get<QComboBox>(ids::display::kStandard)->currentText(), "NTSC");
    h.get<QComboBox>(ids::display::kStandard)->setCurrentIndex(0);
    h.page->writeBack();
    EXPECT_EQ(h.config.videoStandard, 1);
    EXPECT_EQ(h.config.recordFps, 25);
}

TEST_F(DisplayPage, PalKeepsALowerFrameRateAndNtscKeepsThirty) {
    h.config.recordFps = 20;
    h.open();
    h.page->writeBack();
    EXPECT_EQ(h.config.recordFps, 20);

    PageHarness<CDisplaySetup> ntsc;
    ntsc.config.videoStandard = 2;
    ntsc.config.recordFps = 30;
    ntsc.open();
    ntsc.page->writeBack();
    EXPECT_EQ(ntsc.config.videoStandard, 2);
    EXPECT_EQ(ntsc.config.recordFps, 30);
}

TEST_F(DisplayPage, NamesStopAtThirtyCharactersButStoredLongerOnesStay) {
    std::memset(h.config.channelName[1], 'n', 31);
    h.config.channelName[1][31] = '\0';
    h.open();
    EXPECT_EQ(edit(ids::display::kChannelName2)->text(), QString(31, QLatin1Char('n')));
    edit(ids::display::kChannelName2)->setFocus();
    QTest::keyClick(edit(ids::display::kChannelName2), Qt::Key_End);
    typeText(edit(ids::display::kChannelName2), "x");
    EXPECT_EQ(edit(ids::display::kChannelName2)->text().size(), 31);
    // Replacing one character would still leave 31: refused too; deleting one is fine.
    QTest::keyClick(edit(ids::display::kChannelName2), Qt::Key_Left, Qt::ShiftModifier);
    typeText(edit(ids::display::kChannelName2), "y");
    EXPECT_EQ(edit(ids::display::kChannelName2)->text(), QString(31, QLatin1Char('n')));
    QTest::keyClick(edit(ids::display::kChannelName2), Qt::Key_Backspace);
    EXPECT_EQ(edit(ids::display::kChannelName2)->text().size(), 30);
    typeText(edit(ids::display::kChannelName2), "yz");
    EXPECT_EQ(edit(ids::display::kChannelName2)->text(), QString(30, QLatin1Char('n')));
    QTest::keyClick(edit(ids::display::kChannelName2), Qt::Key_Backspace);
    typeText(edit(ids::display::kChannelName2), "y");
    EXPECT_EQ(edit(ids::display::kChannelName2)->text(), QString(29, QLatin1Char('n')) + "y");
    edit(ids::display::kChannelName2)->setText(QString(31, QLatin1Char('n')));

    typeInto(edit(ids::display::kChannelName1), QString(35, QLatin1Char('a')));
    EXPECT_EQ(edit(ids::display::kChannelName1)->text().size(), 30);
    // Chinese names: ten characters are 30 bytes; the eleventh would not fit with its NUL.
    typeInto(edit(ids::display::kChannelName4), QString(12, QChar(0x95E8)));
    EXPECT_EQ(edit(ids::display::kChannelName4)->text().size(), 10);

    h.page->writeBack();
    EXPECT_EQ(std::string(h.config.channelName[1]), std::string(31, 'n'));
    EXPECT_EQ(std::string(h.config.channelName[0]), std::string(30, 'a'));
    EXPECT_EQ(QString::fromUtf8(h.config.channelName[3]), QString(10, QChar(0x95E8)));
}

TEST(AboutPage, ShowsTheVersionAndChangesNothing) {
    PageHarness<CAbout> h;
    const VidoraConfig before = h.config;
    h.open();
    auto* version = h.page->findChild<QLabel*>("version");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), "Vidora V1.0.4");
    EXPECT_TRUE(version->isVisible());
    EXPECT_TRUE(version->alignment() & Qt::AlignHCenter);
    h.page->writeBack();
    EXPECT_EQ(std::memcmp(&before, &h.config, sizeof before), 0);
}

}  // namespace
}  // namespace vidora::settingsui::test
