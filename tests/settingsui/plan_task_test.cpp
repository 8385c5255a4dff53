// Plan task page: the list texts, the empty-list defaults, New/Add/Delete and the callback
// calls they make on the viewer's task list.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include "settingsui/control_ids.h"
#include "settingsui/plan_task.h"
#include "settingsui/task_text.h"
#include "test_support.h"

namespace vidora::settingsui::test {
namespace {

using Call = std::pair<int, std::intptr_t>;

TaskRecord makeTask(int operation, int frequency, SystemTime start, int duration) {
    TaskRecord t{};
    t.operation = operation;
    t.frequency = frequency;
    t.startTime = start;
    t.durationSeconds = duration;
    return t;
}

TaskRecord weeklyRecordTask() {
    TaskRecord t = makeTask(1, 2, SystemTime{2024, 5, 2, 7, 7, 5, 0, 0}, 5400);
    t.weekday = 2;
    t.channel = 1;
    return t;
}

TaskRecord monthlyCaptureTask() {
    TaskRecord t = makeTask(2, 3, SystemTime{2024, 1, 0, 1, 23, 0, 0, 0}, 10);
    t.monthDay = 15;
    t.captureFps = 5;
    t.channel = 4;
    return t;
}

TEST(TaskText, RowTextsForEveryFrequency) {
    const TaskRecord weekly = weeklyRecordTask();
    EXPECT_EQ(taskChannelText(weekly), "CH2");
    EXPECT_EQ(taskTimingText(weekly), "Weekly Tuesday 07:05:00");
    EXPECT_EQ(taskOperationText(weekly), "Record video in 01:30:00.");

    const TaskRecord monthly = monthlyCaptureTask();
    EXPECT_EQ(taskChannelText(monthly), "ALL");
    EXPECT_EQ(taskTimingText(monthly), "Monthly 15 23:00:00");
    EXPECT_EQ(taskOperationText(monthly), "Capture photos in 10 second(s) at 5 frames per second.");

    const TaskRecord once = makeTask(1, 4, SystemTime{987, 3, 0, 9, 8, 7, 6, 0}, 59);
    EXPECT_EQ(taskTimingText(once), "Once 0987-03-09 08:07:06");
    EXPECT_EQ(taskOperationText(once), "Record video in 00:00:59.");
    EXPECT_EQ(taskChannelText(once), "CH1");

    const TaskRecord daily = makeTask(2, 1, SystemTime{2024, 1, 0, 1, 0, 0, 30, 0}, 1);
    EXPECT_EQ(taskTimingText(daily), "Everyday 00:00:30");

    // Damaged records show empty texts rather than reading outside the name tables.
    TaskRecord broken = weeklyRecordTask();
    broken.weekday = 9;
    broken.channel = 7;
    broken.operation = 3;
    EXPECT_EQ(taskTimingText(broken), "Weekly  07:05:00");
    EXPECT_EQ(taskChannelText(broken), "");
    EXPECT_EQ(taskOperationText(broken), "");
}

class PlanTaskPage : public ::testing::Test {
  protected:
    template <typename T>
    T* get(int id) {
        return h.get<T>(id);
    }
    QTableWidget* list() { return get<QTableWidget>(ids::plan::kTaskList); }
    QLineEdit* edit(int id) { return get<QLineEdit>(id); }
    QPushButton* button(int id) { return get<QPushButton>(id); }
    QRadioButton* radio(int id) { return get<QRadioButton>(id); }

    PageHarness<CPlanTask> h;
};

TEST_F(PlanTaskPage, EmptyListDefaults) {
    h.config.taskList = 0xDEADBEEF;  // a stale slot value is never followed
    const VidoraConfig before = h.config;
    h.open();
    EXPECT_EQ(list()->rowCount(), 0);
    EXPECT_EQ(list()->horizontalHeaderItem(0)->text(), " CHx");
    EXPECT_EQ(list()->horizontalHeaderItem(1)->text(), "        Timing");
    EXPECT_EQ(list()->horizontalHeaderItem(2)->text(), "             Operation");
    EXPECT_TRUE(list()->showGrid());
    EXPECT_EQ(list()->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_FALSE(button(ids::plan::kDelete)->isEnabled());  // Delete
    EXPECT_FALSE(button(ids::plan::kAdd)->isEnabled());     // Add
    EXPECT_TRUE(button(ids::plan::kNew)->isEnabled());      // New
    EXPECT_TRUE(radio(ids::plan::kWeekly)->isChecked());    // Weekly
    EXPECT_TRUE(radio(ids::plan::kCapture)->isChecked());   // Capture
    EXPECT_FALSE(radio(ids::plan::kRecorder)->isChecked());
    EXPECT_EQ(edit(ids::plan::kLengthHours)->text(), "0");
    EXPECT_EQ(edit(ids::plan::kLengthMinutes)->text(), "0");
    EXPECT_EQ(edit(ids::plan::kLengthSeconds)->text(), "1");
    EXPECT_EQ(edit(ids::plan::kCaptureSeconds)->text(), "1");
    EXPECT_EQ(edit(ids::plan::kCaptureFps)->text(), "1");
    EXPECT_EQ(get<QComboBox>(ids::plan::kChannel)->currentText(), "CH1");
    EXPECT_EQ(get<QComboBox>(ids::plan::kWeekday)->currentText(), "Sunday");
    EXPECT_EQ(get<QComboBox>(ids::plan::kDay)->currentText(), "1");
    EXPECT_EQ(get<QComboBox>(ids::plan::kDay)->count(), 31);
    // Viewing: nothing can be edited.
    for (int id : {ids::plan::kDaily, ids::plan::kWeekly, ids::plan::kMonthly, ids::plan::kOnce,
                   ids::plan::kRecorder, ids::plan::kCapture}) {
        EXPECT_FALSE(radio(id)->isEnabled()) << id;
    }
    for (int id : {ids::plan::kLengthHours, ids::plan::kLengthMinutes, ids::plan::kLengthSeconds,
                   ids::plan::kCaptureSeconds, ids::plan::kCaptureFps}) {
        EXPECT_FALSE(edit(id)->isEnabled()) << id;
    }
    EXPECT_FALSE(get<QDateTimeEdit>(ids::plan::kTime)->isEnabled());
    EXPECT_FALSE(get<QComboBox>(ids::plan::kChannel)->isEnabled());
    EXPECT_TRUE(h.viewer.calls.empty());
    EXPECT_EQ(std::memcmp(&before, &h.config, sizeof before), 0);
}

TEST_F(PlanTaskPage, ListsTheViewersTasksAndShowsTheFirst) {
    h.viewer.addTask(weeklyRecordTask());
    h.viewer.addTask(monthlyCaptureTask());
    h.open();
    ASSERT_EQ(list()->rowCount(), 2);
    EXPECT_EQ(list()->item(0, 0)->text(), "CH2");
    EXPECT_EQ(list()->item(0, 1)->text(), "Weekly Tuesday 07:05:00");
    EXPECT_EQ(list()->item(0, 2)->text(), "Record video in 01:30:00.");
    EXPECT_EQ(list()->item(1, 1)->text(), "Monthly 15 23:00:00");
    EXPECT_EQ(list()->item(1, 2)->text(), "Capture photos in 10 second(s) at 5 frames per second.");
    EXPECT_TRUE(button(ids::plan::kDelete)->isEnabled());

    // The first task is shown.
    EXPECT_TRUE(radio(ids::plan::kWeekly)->isChecked());
    EXPECT_TRUE(radio(ids::plan::kRecorder)->isChecked());
    EXPECT_EQ(edit(ids::plan::kLengthHours)->text(), "1");
    EXPECT_EQ(edit(ids::plan::kLengthMinutes)->text(), "30");
    EXPECT_EQ(edit(ids::plan::kLengthSeconds)->text(), "0");
    EXPECT_EQ(get<QComboBox>(ids::plan::kWeekday)->currentText(), "Tuesday");
    EXPECT_EQ(get<QDateTimeEdit>(ids::plan::kTime)->time(), QTime(7, 5, 0));
    EXPECT_EQ(get<QComboBox>(ids::plan::kChannel)->currentText(), "CH2");

    // A click on the second row shows that task, still without allowing edits.
    list()->selectRow(1);
    EXPECT_TRUE(radio(ids::plan::kMonthly)->isChecked());
    EXPECT_TRUE(radio(ids::plan::kCapture)->isChecked());
    EXPECT_EQ(edit(ids::plan::kCaptureSeconds)->text(), "10");
    EXPECT_EQ(edit(ids::plan::kCaptureFps)->text(), "5");
    EXPECT_EQ(edit(ids::plan::kLengthHours)->text(), "0");
    EXPECT_EQ(get<QComboBox>(ids::plan::kDay)->currentText(), "15");
    EXPECT_EQ(get<QComboBox>(ids::plan::kChannel)->currentText(), "ALL");
    EXPECT_FALSE(edit(ids::plan::kCaptureSeconds)->isEnabled());
}

TEST_F(PlanTaskPage, NewEnablesDailyEditingAndTheFrequencyLaysOutTheTiming) {
    h.open();
    button(ids::plan::kNew)->click();
    EXPECT_FALSE(button(ids::plan::kNew)->isEnabled());
    EXPECT_TRUE(button(ids::plan::kAdd)->isEnabled());
    EXPECT_TRUE(radio(ids::plan::kDaily)->isChecked());
    for (int id : {ids::plan::kDaily, ids::plan::kWeekly, ids::plan::kMonthly, ids::plan::kOnce,
                   ids::plan::kRecorder, ids::plan::kCapture}) {
        EXPECT_TRUE(radio(id)->isEnabled()) << id;
    }
    // Capture was checked before New, so its fields are the ones open.
    EXPECT_TRUE(edit(ids::plan::kCaptureSeconds)->isEnabled());
    EXPECT_FALSE(edit(ids::plan::kLengthHours)->isEnabled());

    auto visible = [this](int id) { return get<QWidget>(id)->isVisible(); };
    EXPECT_TRUE(visible(ids::plan::kTime) && visible(ids::plan::kTimeLabel));
    EXPECT_FALSE(visible(ids::plan::kDay) || visible(ids::plan::kWeekday) ||
                 visible(ids::plan::kDate));
    EXPECT_TRUE(get<QDateTimeEdit>(ids::plan::kTime)->isEnabled());

    radio(ids::plan::kWeekly)->click();  // Weekly: the weekday above the time
    EXPECT_TRUE(visible(ids::plan::kWeekday) && visible(ids::plan::kWeekdayLabel) &&
                visible(ids::plan::kTime));
    EXPECT_FALSE(visible(ids::plan::kDay) || visible(ids::plan::kDate));
    EXPECT_TRUE(get<QComboBox>(ids::plan::kWeekday)->isEnabled());
    EXPECT_FALSE(get<QComboBox>(ids::plan::kDay)->isEnabled());
    EXPECT_LT(get<QWidget>(ids::plan::kWeekday)->y(), get<QWidget>(ids::plan::kTime)->y());

    radio(ids::plan::kMonthly)->click();  // Monthly
    EXPECT_TRUE(visible(ids::plan::kDay) && visible(ids::plan::kDayLabel) &&
                visible(ids::plan::kTime));
    EXPECT_FALSE(visible(ids::plan::kWeekday) || visible(ids::plan::kDate));
    EXPECT_TRUE(get<QComboBox>(ids::plan::kDay)->isEnabled());

    radio(ids::plan::kOnce)->click();  // Only Once
    EXPECT_TRUE(visible(ids::plan::kDate) && visible(ids::plan::kDateLabel) &&
                visible(ids::plan::kTime));
    EXPECT_FALSE(visible(ids::plan::kWeekday) || visible(ids::plan::kDay));
    EXPECT_TRUE(get<QDateEdit>(ids::plan::kDate)->isEnabled());

    radio(ids::plan::kRecorder)->click();  // Recorder
    EXPECT_TRUE(edit(ids::plan::kLengthHours)->isEnabled());
    EXPECT_TRUE(edit(ids::plan::kLengthSeconds)->isEnabled());
    EXPECT_FALSE(edit(ids::plan::kCaptureSeconds)->isEnabled());
    EXPECT_FALSE(edit(ids::plan::kCaptureFps)->isEnabled());
}

TEST_F(PlanTaskPage, AddingAWeeklyRecordTask) {
    h.open();
    button(ids::plan::kNew)->click();
    radio(ids::plan::kWeekly)->click();
    radio(ids::plan::kRecorder)->click();
    get<QComboBox>(ids::plan::kWeekday)->setCurrentIndex(2);
    get<QDateTimeEdit>(ids::plan::kTime)->setTime(QTime(7, 5, 0));
    get<QComboBox>(ids::plan::kChannel)->setCurrentIndex(1);
    edit(ids::plan::kLengthHours)->setText("1");
    edit(ids::plan::kLengthMinutes)->setText("30");
    edit(ids::plan::kLengthSeconds)->setText("0");
    button(ids::plan::kAdd)->click();

    ASSERT_EQ(h.viewer.calls.size(), 2u);
    EXPECT_EQ(h.viewer.calls[0].first, CFG_CB_NEW_TASK);
    EXPECT_EQ(h.viewer.calls[1], Call(CFG_CB_ADD_TASK, h.viewer.calls[0].second));
    const auto tasks = h.viewer.tasks();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].operation, 1);
    EXPECT_EQ(tasks[0].frequency, 2);
    EXPECT_EQ(tasks[0].weekday, 2);
    EXPECT_EQ(tasks[0].channel, 1);
    EXPECT_EQ(tasks[0].durationSeconds, 5400);
    EXPECT_EQ(tasks[0].startTime.hour, 7);
    EXPECT_EQ(tasks[0].startTime.minute, 5);
    EXPECT_EQ(tasks[0].startTime.second, 0);
    EXPECT_EQ(tasks[0].taskSpare, 0);  // never written

    ASSERT_EQ(list()->rowCount(), 1);
    EXPECT_EQ(list()->item(0, 1)->text(), "Weekly Tuesday 07:05:00");
    EXPECT_EQ(list()->item(0, 2)->text(), "Record video in 01:30:00.");
    // Back to viewing.
    EXPECT_TRUE(button(ids::plan::kNew)->isEnabled());
    EXPECT_FALSE(button(ids::plan::kAdd)->isEnabled());
    EXPECT_FALSE(radio(ids::plan::kWeekly)->isEnabled());
    EXPECT_TRUE(button(ids::plan::kDelete)->isEnabled());
}

TEST_F(PlanTaskPage, AddingOnceAndMonthlyCaptureTasks) {
    h.open();
    button(ids::plan::kNew)->click();
    radio(ids::plan::kOnce)->click();
    radio(ids::plan::kCapture)->click();
    get<QDateEdit>(ids::plan::kDate)->setDate(QDate(2025, 12, 24));
    get<QDateTimeEdit>(ids::plan::kTime)->setTime(QTime(18, 30, 15));
    edit(ids::plan::kCaptureSeconds)->setText("20");
    edit(ids::plan::kCaptureFps)->setText("3");
    button(ids::plan::kAdd)->click();

    button(ids::plan::kNew)->click();
    radio(ids::plan::kMonthly)->click();
    get<QComboBox>(ids::plan::kDay)->setCurrentIndex(30);
    button(ids::plan::kAdd)->click();

    const auto tasks = h.viewer.tasks();
    ASSERT_EQ(tasks.size(), 2u);
    const SystemTime& t = tasks[0].startTime;
    EXPECT_EQ(tasks[0].frequency, 4);
    EXPECT_EQ(tasks[0].operation, 2);
    EXPECT_EQ(tasks[0].durationSeconds, 20);
    EXPECT_EQ(tasks[0].captureFps, 3);
    EXPECT_EQ((std::array<int, 6>{t.year, t.month, t.day, t.hour, t.minute, t.second}),
              (std::array<int, 6>{2025, 12, 24, 18, 30, 15}));
    EXPECT_EQ(t.dayOfWeek, 3);  // a Wednesday
    EXPECT_EQ(list()->item(0, 1)->text(), "Once 2025-12-24 18:30:15");
    EXPECT_EQ(tasks[1].frequency, 3);
    EXPECT_EQ(tasks[1].monthDay, 31);
    EXPECT_EQ(list()->item(1, 1)->text(), "Monthly 31 18:30:15");
}

TEST_F(PlanTaskPage, ZeroRecordLengthIsRefusedAndTheRecordFreed) {
    h.open();
    button(ids::plan::kNew)->click();
    radio(ids::plan::kRecorder)->click();
    edit(ids::plan::kLengthHours)->setText("0");
    edit(ids::plan::kLengthMinutes)->setText("0");
    edit(ids::plan::kLengthSeconds)->setText("0");
    button(ids::plan::kAdd)->click();

    ASSERT_EQ(h.viewer.calls.size(), 2u);
    EXPECT_EQ(h.viewer.calls[0].first, CFG_CB_NEW_TASK);
    EXPECT_EQ(h.viewer.calls[1], Call(CFG_CB_FREE_TASK, h.viewer.calls[0].second));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text, QStringLiteral("录像时间不能为零!"));
    EXPECT_EQ(h.dialogs.messages[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(QApplication::focusWidget(), edit(ids::plan::kLengthSeconds));
    // Still editing; a second Add asks for a fresh record.
    EXPECT_TRUE(button(ids::plan::kAdd)->isEnabled());
    EXPECT_FALSE(button(ids::plan::kNew)->isEnabled());
    EXPECT_TRUE(edit(ids::plan::kLengthSeconds)->isEnabled());
    EXPECT_TRUE(h.viewer.tasks().empty());

    edit(ids::plan::kLengthSeconds)->setText("5");
    button(ids::plan::kAdd)->click();
    ASSERT_EQ(h.viewer.calls.size(), 4u);
    EXPECT_EQ(h.viewer.calls[2].first, CFG_CB_NEW_TASK);
    EXPECT_EQ(h.viewer.calls[3], Call(CFG_CB_ADD_TASK, h.viewer.calls[2].second));
    EXPECT_EQ(h.viewer.tasks().size(), 1u);
}

TEST_F(PlanTaskPage, CaptureLengthAndFrameRateChecks) {
    h.open();
    button(ids::plan::kNew)->click();
    radio(ids::plan::kCapture)->click();
    edit(ids::plan::kCaptureSeconds)->setText("0");
    button(ids::plan::kAdd)->click();
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text, QStringLiteral("拍照时间不能为0秒！"));
    EXPECT_EQ(h.dialogs.messages[0].caption, "settingsui");
    EXPECT_EQ(QApplication::focusWidget(), edit(ids::plan::kCaptureSeconds));

    edit(ids::plan::kCaptureSeconds)->setText("5");
    edit(ids::plan::kCaptureFps)->setText("0");
    button(ids::plan::kAdd)->click();
    ASSERT_EQ(h.dialogs.messages.size(), 2u);
    EXPECT_EQ(h.dialogs.messages[1].text, QStringLiteral("拍照帧速不能为0!"));
    EXPECT_EQ(h.dialogs.messages[1].caption, "settingsui");
    EXPECT_EQ(QApplication::focusWidget(), edit(ids::plan::kCaptureFps));
    EXPECT_TRUE(h.viewer.tasks().empty());

    // A capture of exactly one second is taken with any frame rate.
    edit(ids::plan::kCaptureSeconds)->setText("1");
    button(ids::plan::kAdd)->click();
    EXPECT_EQ(h.dialogs.messages.size(), 2u);
    ASSERT_EQ(h.viewer.tasks().size(), 1u);
    EXPECT_EQ(h.viewer.tasks()[0].captureFps, 0);

    using Codes = std::vector<int>;
    Codes codes;
    for (const Call& call : h.viewer.calls) {
        codes.push_back(call.first);
    }
    EXPECT_EQ(codes, (Codes{5, 6, 5, 6, 5, 7}));
}

TEST_F(PlanTaskPage, DeleteFreesThenRemovesAndDisablesItselfAtZeroRows) {
    TaskRecord* first = h.viewer.addTask(weeklyRecordTask());
    TaskRecord* second = h.viewer.addTask(monthlyCaptureTask());
    const auto firstAddress = reinterpret_cast<std::intptr_t>(first);
    const auto secondAddress = reinterpret_cast<std::intptr_t>(second);
    h.open();

    button(ids::plan::kDelete)->click();  // nothing selected: nothing happens
    EXPECT_TRUE(h.viewer.calls.empty());

    list()->selectRow(0);
    button(ids::plan::kDelete)->click();
    EXPECT_EQ(h.viewer.calls, (std::vector<Call>{{CFG_CB_FREE_TASK, firstAddress},
                                                 {CFG_CB_REMOVE_TASK, firstAddress}}));
    ASSERT_EQ(list()->rowCount(), 1);
    EXPECT_EQ(list()->item(0, 1)->text(), "Monthly 15 23:00:00");
    EXPECT_TRUE(button(ids::plan::kDelete)->isEnabled());

    list()->selectRow(0);
    button(ids::plan::kDelete)->click();
    EXPECT_EQ(h.viewer.calls.back(), Call(CFG_CB_REMOVE_TASK, secondAddress));
    EXPECT_EQ(list()->rowCount(), 0);
    EXPECT_FALSE(button(ids::plan::kDelete)->isEnabled());
    EXPECT_TRUE(h.viewer.tasks().empty());
}

TEST_F(PlanTaskPage, AViewerWithoutANewRecordAddsNothing) {
    h.viewer.failNewTask = true;
    h.open();
    button(ids::plan::kNew)->click();
    button(ids::plan::kAdd)->click();
    EXPECT_EQ(h.viewer.calls, (std::vector<Call>{{CFG_CB_NEW_TASK, 0}}));  // answered 0
    EXPECT_TRUE(button(ids::plan::kAdd)->isEnabled());
}

}  // namespace
}  // namespace vidora::settingsui::test
