// Alarm page: the duration splits, the warnings when a field is left, and the write-back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include "settingsui/alarm_set.h"
#include "settingsui/control_ids.h"
#include "settingsui/up_down.h"
#include "test_support.h"

namespace vidora::settingsui::test {
namespace {

class AlarmPage : public ::testing::Test {
  protected:
    PageHarness<CAlarmSet> h;
    QLineEdit* edit(int id) { return h.get<QLineEdit>(id); }
};

TEST_F(AlarmPage, ShowsFlagsAndDurationsAndWritesThemBackUnchanged) {
    h.config.alarmRecordSeconds = 3725;
    h.config.alarmCaptureSeconds = 59;
    h.config.alarmCaptureFps = 7;
    h.config.motionAlarmChannel[2] = 1;
    h.config.soundAlarmChannel[3] = 1;
    h.config.alarmCapture = 1;
    h.config.alarmSound = 0;
    const VidoraConfig before = h.config;
    h.open();

    EXPECT_EQ(edit(ids::alarm::kRecordHours)->text(), "1");
    EXPECT_EQ(edit(ids::alarm::kRecordMinutes)->text(), "2");
    EXPECT_EQ(edit(ids::alarm::kRecordSeconds)->text(), "5");
    EXPECT_EQ(edit(ids::alarm::kCaptureHours)->text(), "0");
    EXPECT_EQ(edit(ids::alarm::kCaptureMinutes)->text(), "0");
    EXPECT_EQ(edit(ids::alarm::kCaptureSeconds)->text(), "59");
    EXPECT_EQ(edit(ids::alarm::kFps)->text(), "7");
    EXPECT_TRUE(h.get<QCheckBox>(ids::alarm::kMotion3)->isChecked());     // move CH3
    EXPECT_TRUE(h.get<QCheckBox>(ids::alarm::kSound4)->isChecked());      // sound CH4
    EXPECT_FALSE(h.get<QCheckBox>(ids::alarm::kMotion1)->isChecked());    // move CH1
    EXPECT_FALSE(h.get<QCheckBox>(ids::alarm::kSound3)->isChecked());     // sound CH3
    EXPECT_TRUE(h.get<QCheckBox>(ids::alarm::kCapture)->isChecked());     // capture
    EXPECT_FALSE(h.get<QCheckBox>(ids::alarm::kRecord)->isChecked());     // record
    EXPECT_FALSE(h.get<QCheckBox>(ids::alarm::kPlaySound)->isChecked());  // sound
    EXPECT_EQ(h.get<QCheckBox>(ids::alarm::kSound1)->text(), "Open sound alarm");
    EXPECT_EQ(h.get<QCheckBox>(ids::alarm::kMotion2)->text(), "Open move alarm");

    h.page->writeBack();
    EXPECT_EQ(std::memcmp(&before, &h.config, sizeof before), 0);
}

TEST_F(AlarmPage, WritesEditedFlagsAndDurations) {
    h.open();
    h.get<QCheckBox>(ids::alarm::kMotion1)->click();    // move CH1 on
    h.get<QCheckBox>(ids::alarm::kSound2)->click();     // sound CH2 on
    h.get<QCheckBox>(ids::alarm::kRecord)->click();     // record on
    h.get<QCheckBox>(ids::alarm::kPlaySound)->click();  // sound off
    edit(ids::alarm::kRecordHours)->setText("2");
    edit(ids::alarm::kRecordMinutes)->setText("75");  // warned about, but stored as typed
    edit(ids::alarm::kRecordSeconds)->setText("9");
    edit(ids::alarm::kFps)->setText("12");
    h.page->writeBack();

    EXPECT_EQ(h.config.motionAlarmChannel[0], 1);
    EXPECT_EQ(h.config.soundAlarmChannel[1], 1);
    EXPECT_EQ(h.config.soundAlarmChannel[0], 0);
    EXPECT_EQ(h.config.alarmRecord, 1);
    EXPECT_EQ(h.config.alarmSound, 0);
    EXPECT_EQ(h.config.alarmRecordSeconds, 2 * 3600 + 75 * 60 + 9);
    EXPECT_EQ(h.config.alarmCaptureSeconds, 10);
    EXPECT_EQ(h.config.alarmCaptureFps, 12);
}

TEST_F(AlarmPage, FrameRateAboveThePalMaximumLosesItsLastDigit) {
    h.open();
    typeInto(edit(ids::alarm::kFps), "26");
    leaveField(edit(ids::alarm::kFps), edit(ids::alarm::kRecordHours));

    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text, QStringLiteral("最小值为1，最大值为25"));
    EXPECT_EQ(h.dialogs.messages[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(edit(ids::alarm::kFps)->text(), "2");
    EXPECT_EQ(QApplication::focusWidget(), edit(ids::alarm::kFps));
    EXPECT_EQ(edit(ids::alarm::kFps)->selectedText(), "2");
}

TEST_F(AlarmPage, NtscAllowsThirtyAndNamesItsMaximum) {
    h.config.videoStandard = 2;
    h.open();
    typeInto(edit(ids::alarm::kFps), "30");
    leaveField(edit(ids::alarm::kFps), edit(ids::alarm::kRecordHours));
    EXPECT_TRUE(h.dialogs.messages.empty());

    typeInto(edit(ids::alarm::kFps), "31");
    leaveField(edit(ids::alarm::kFps), edit(ids::alarm::kRecordHours));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text, QStringLiteral("最小值为1，最大值为30"));
    EXPECT_EQ(edit(ids::alarm::kFps)->text(), "3");
    EXPECT_EQ(h.get<UpDown>(ids::alarm::kFpsUpDown)->maximum(), 30);
}

TEST_F(AlarmPage, ZeroFrameRateEmptiesTheFieldAndStoresZero) {
    h.open();
    typeInto(edit(ids::alarm::kFps), "0");
    leaveField(edit(ids::alarm::kFps), edit(ids::alarm::kRecordHours));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(edit(ids::alarm::kFps)->text(), "");
    h.page->writeBack();
    EXPECT_EQ(h.config.alarmCaptureFps, 0);
}

TEST_F(AlarmPage, ZeroDurationWarnsAndMovesTheFocusToItsSeconds) {
    h.open();
    edit(ids::alarm::kRecordHours)->setText("0");
    edit(ids::alarm::kRecordMinutes)->setText("0");
    typeInto(edit(ids::alarm::kRecordSeconds), "0");
    leaveField(edit(ids::alarm::kRecordSeconds), edit(ids::alarm::kFps));

    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text, QStringLiteral("时间不能为零!"));
    EXPECT_EQ(h.dialogs.messages[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(QApplication::focusWidget(), edit(ids::alarm::kRecordSeconds));

    // The hours field runs the same check, and moves the focus to the seconds field too.
    edit(ids::alarm::kRecordSeconds)->setText("1");
    edit(ids::alarm::kRecordHours)->setFocus();
    QCoreApplication::processEvents();  // leaving the seconds field with 1 is quiet
    edit(ids::alarm::kRecordSeconds)->setText("0");
    h.dialogs.messages.clear();
    leaveField(edit(ids::alarm::kRecordHours), edit(ids::alarm::kFps));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text, QStringLiteral("时间不能为零!"));
    EXPECT_EQ(QApplication::focusWidget(), edit(ids::alarm::kRecordSeconds));

    // The capture duration has its own seconds field.
    edit(ids::alarm::kRecordSeconds)->setText("1");
    edit(ids::alarm::kCaptureHours)->setText("0");
    edit(ids::alarm::kCaptureMinutes)->setText("0");
    edit(ids::alarm::kCaptureSeconds)->setText("0");
    h.dialogs.messages.clear();
    leaveField(edit(ids::alarm::kCaptureMinutes), edit(ids::alarm::kFps));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(QApplication::focusWidget(), edit(ids::alarm::kCaptureSeconds));

    edit(ids::alarm::kRecordSeconds)->setText("0");
    h.page->writeBack();  // only a warning: zero is stored
    EXPECT_EQ(h.config.alarmRecordSeconds, 0);
    EXPECT_EQ(h.config.alarmCaptureSeconds, 0);
}

TEST_F(AlarmPage, MinutesOrSecondsAboveFiftyNineWarnOnce) {
    h.open();
    typeInto(edit(ids::alarm::kRecordMinutes), "75");
    leaveField(edit(ids::alarm::kRecordMinutes), edit(ids::alarm::kRecordSeconds));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text, "Time setuped have error!");
    EXPECT_EQ(h.dialogs.messages[0].caption, "time error");
    EXPECT_EQ(QApplication::focusWidget(), edit(ids::alarm::kRecordMinutes));
    EXPECT_EQ(edit(ids::alarm::kRecordMinutes)->selectedText(), "75");

    // Two bad fields in a row: putting the focus back must not start the other field's check.
    edit(ids::alarm::kRecordMinutes)->setText("5");
    h.dialogs.messages.clear();
    edit(ids::alarm::kCaptureSeconds)->setText("99");
    typeInto(edit(ids::alarm::kCaptureMinutes), "88");
    leaveField(edit(ids::alarm::kCaptureMinutes), edit(ids::alarm::kCaptureSeconds));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(QApplication::focusWidget(), edit(ids::alarm::kCaptureMinutes));
}

TEST_F(AlarmPage, EditsTakeDigitsOnlyAndUpDownsStayInRange) {
    h.open();
    typeInto(edit(ids::alarm::kRecordHours), "1a2");
    EXPECT_EQ(edit(ids::alarm::kRecordHours)->text(), "12");

    auto* hours = h.get<UpDown>(ids::alarm::kRecordHoursUpDown);
    EXPECT_EQ(hours->buddy(), edit(ids::alarm::kRecordHours));
    EXPECT_EQ(hours->minimum(), 0);
    EXPECT_EQ(hours->maximum(), 23);
    edit(ids::alarm::kRecordHours)->setText("22");
    QTest::keyClick(edit(ids::alarm::kRecordHours), Qt::Key_Up);
    QTest::keyClick(edit(ids::alarm::kRecordHours), Qt::Key_Up);
    EXPECT_EQ(edit(ids::alarm::kRecordHours)->text(), "23");
    EXPECT_EQ(h.get<UpDown>(ids::alarm::kRecordMinutesUpDown)->maximum(), 59);
    EXPECT_EQ(h.get<UpDown>(ids::alarm::kCaptureSecondsUpDown)->maximum(), 59);
    auto* fps = h.get<UpDown>(ids::alarm::kFpsUpDown);
    EXPECT_EQ(fps->minimum(), 1);
    EXPECT_EQ(fps->maximum(), 25);
    edit(ids::alarm::kFps)->setText("1");
    fps->stepBy(-1);
    EXPECT_EQ(edit(ids::alarm::kFps)->text(), "1");
}

}  // namespace
}  // namespace vidora::settingsui::test
