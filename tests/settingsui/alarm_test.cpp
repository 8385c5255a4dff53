// Alarm page: the duration splits, the warnings when a field is left, and the write-back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include "settingsui/alarm_set.h"
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

    EXPECT_EQ(edit(5023)->text(), "1");
    EXPECT_EQ(edit(5026)->text(), "2");
    EXPECT_EQ(edit(5030)->text(), "5");
    EXPECT_EQ(edit(5025)->text(), "0");
    EXPECT_EQ(edit(5029)->text(), "0");
    EXPECT_EQ(edit(5079)->text(), "59");
    EXPECT_EQ(edit(5078)->text(), "7");
    EXPECT_TRUE(h.get<QCheckBox>(5020)->isChecked());   // move CH3
    EXPECT_TRUE(h.get<QCheckBox>(5036)->isChecked());   // sound CH4
    EXPECT_FALSE(h.get<QCheckBox>(5010)->isChecked());  // move CH1
    EXPECT_FALSE(h.get<QCheckBox>(5021)->isChecked());  // sound CH3
    EXPECT_TRUE(h.get<QCheckBox>(5014)->isChecked());   // capture
    EXPECT_FALSE(h.get<QCheckBox>(5013)->isChecked());  // record
    EXPECT_FALSE(h.get<QCheckBox>(5015)->isChecked());  // sound
    EXPECT_EQ(h.get<QCheckBox>(5011)->text(), "Open sound alarm");
    EXPECT_EQ(h.get<QCheckBox>(5018)->text(), "Open move alarm");

    h.page->writeBack();
    EXPECT_EQ(std::memcmp(&before, &h.config, sizeof before), 0);
}

TEST_F(AlarmPage, WritesEditedFlagsAndDurations) {
    h.open();
    h.get<QCheckBox>(5010)->click();  // move CH1 on
    h.get<QCheckBox>(5019)->click();  // sound CH2 on
    h.get<QCheckBox>(5013)->click();  // record on
    h.get<QCheckBox>(5015)->click();  // sound off
    edit(5023)->setText("2");
    edit(5026)->setText("75");  // warned about, but stored as typed
    edit(5030)->setText("9");
    edit(5078)->setText("12");
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
    typeInto(edit(5078), "26");
    leaveField(edit(5078), edit(5023));

    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text, QStringLiteral("最小值为1，最大值为25"));
    EXPECT_EQ(h.dialogs.messages[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(edit(5078)->text(), "2");
    EXPECT_EQ(QApplication::focusWidget(), edit(5078));
    EXPECT_EQ(edit(5078)->selectedText(), "2");
}

TEST_F(AlarmPage, NtscAllowsThirtyAndNamesItsMaximum) {
    h.config.videoStandard = 2;
    h.open();
    typeInto(edit(5078), "30");
    leaveField(edit(5078), edit(5023));
    EXPECT_TRUE(h.dialogs.messages.empty());

    typeInto(edit(5078), "31");
    leaveField(edit(5078), edit(5023));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text, QStringLiteral("最小值为1，最大值为30"));
    EXPECT_EQ(edit(5078)->text(), "3");
    EXPECT_EQ(h.get<UpDown>(5048)->maximum(), 30);
}

TEST_F(AlarmPage, ZeroFrameRateEmptiesTheFieldAndStoresZero) {
    h.open();
    typeInto(edit(5078), "0");
    leaveField(edit(5078), edit(5023));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(edit(5078)->text(), "");
    h.page->writeBack();
    EXPECT_EQ(h.config.alarmCaptureFps, 0);
}

TEST_F(AlarmPage, ZeroDurationWarnsAndMovesTheFocusToItsSeconds) {
    h.open();
    edit(5023)->setText("0");
    edit(5026)->setText("0");
    typeInto(edit(5030), "0");
    leaveField(edit(5030), edit(5078));

    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text, QStringLiteral("时间不能为零!"));
    EXPECT_EQ(h.dialogs.messages[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(QApplication::focusWidget(), edit(5030));

    // The hours field runs the same check, and moves the focus to the seconds field too.
    edit(5030)->setText("1");
    edit(5023)->setFocus();
    QCoreApplication::processEvents();  // leaving the seconds field with 1 is quiet
    edit(5030)->setText("0");
    h.dialogs.messages.clear();
    leaveField(edit(5023), edit(5078));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text, QStringLiteral("时间不能为零!"));
    EXPECT_EQ(QApplication::focusWidget(), edit(5030));

    // The capture duration has its own seconds field.
    edit(5030)->setText("1");
    edit(5025)->setText("0");
    edit(5029)->setText("0");
    edit(5079)->setText("0");
    h.dialogs.messages.clear();
    leaveField(edit(5029), edit(5078));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(QApplication::focusWidget(), edit(5079));

    edit(5030)->setText("0");
    h.page->writeBack();  // only a warning: zero is stored
    EXPECT_EQ(h.config.alarmRecordSeconds, 0);
    EXPECT_EQ(h.config.alarmCaptureSeconds, 0);
}

TEST_F(AlarmPage, MinutesOrSecondsAboveFiftyNineWarnOnce) {
    h.open();
    typeInto(edit(5026), "75");
    leaveField(edit(5026), edit(5030));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text, "Time setuped have error!");
    EXPECT_EQ(h.dialogs.messages[0].caption, "time error");
    EXPECT_EQ(QApplication::focusWidget(), edit(5026));
    EXPECT_EQ(edit(5026)->selectedText(), "75");

    // Two bad fields in a row: putting the focus back must not start the other field's check.
    edit(5026)->setText("5");
    h.dialogs.messages.clear();
    edit(5079)->setText("99");
    typeInto(edit(5029), "88");
    leaveField(edit(5029), edit(5079));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(QApplication::focusWidget(), edit(5029));
}

TEST_F(AlarmPage, EditsTakeDigitsOnlyAndUpDownsStayInRange) {
    h.open();
    typeInto(edit(5023), "1a2");
    EXPECT_EQ(edit(5023)->text(), "12");

    auto* hours = h.get<UpDown>(5074);
    EXPECT_EQ(hours->buddy(), edit(5023));
    EXPECT_EQ(hours->minimum(), 0);
    EXPECT_EQ(hours->maximum(), 23);
    edit(5023)->setText("22");
    QTest::keyClick(edit(5023), Qt::Key_Up);
    QTest::keyClick(edit(5023), Qt::Key_Up);
    EXPECT_EQ(edit(5023)->text(), "23");
    EXPECT_EQ(h.get<UpDown>(5027)->maximum(), 59);
    EXPECT_EQ(h.get<UpDown>(5077)->maximum(), 59);
    auto* fps = h.get<UpDown>(5048);
    EXPECT_EQ(fps->minimum(), 1);
    EXPECT_EQ(fps->maximum(), 25);
    edit(5078)->setText("1");
    fps->stepBy(-1);
    EXPECT_EQ(edit(5078)->text(), "1");
}

}  // namespace
}  // namespace vidora::settingsui::test
