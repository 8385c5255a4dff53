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
    QTableWidget* list() { return get<QTableWidget>(5037); }
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
    EXPECT_FALSE(button(5040)->isEnabled());  // Delete
    EXPECT_FALSE(button(5039)->isEnabled());  // Add
    EXPECT_TRUE(button(5038)->isEnabled());   // New
    EXPECT_TRUE(radio(5045)->isChecked());    // Weekly
    EXPECT_TRUE(radio(5059)->isChecked());    // Capture
    EXPECT_FALSE(radio(5054)->isChecked());
    EXPECT_EQ(edit(5033)->text(), "0");
    EXPECT_EQ(edit(5035)->text(), "0");
    EXPECT_EQ(edit(5060)->text(), "1");
    EXPECT_EQ(edit(5061)->text(), "1");
    EXPECT_EQ(edit(5062)->text(), "1");
    EXPECT_EQ(get<QComboBox>(5118)->currentText(), "CH1");
    EXPECT_EQ(get<QComboBox>(5041)->currentText(), "Sunday");
    EXPECT_EQ(get<QComboBox>(5111)->currentText(), "1");
    EXPECT_EQ(get<QComboBox>(5111)->count(), 31);
    // Viewing: nothing can be edited.
    for (int id : {5046, 5045, 5047, 5044, 5054, 5059}) {
        EXPECT_FALSE(radio(id)->isEnabled()) << id;
    }
    for (int id : {5033, 5035, 5060, 5061, 5062}) {
        EXPECT_FALSE(edit(id)->isEnabled()) << id;
    }
    EXPECT_FALSE(get<QDateTimeEdit>(5110)->isEnabled());
    EXPECT_FALSE(get<QComboBox>(5118)->isEnabled());
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
    EXPECT_TRUE(button(5040)->isEnabled());

    // The first task is shown.
    EXPECT_TRUE(radio(5045)->isChecked());
    EXPECT_TRUE(radio(5054)->isChecked());
    EXPECT_EQ(edit(5033)->text(), "1");
    EXPECT_EQ(edit(5035)->text(), "30");
    EXPECT_EQ(edit(5060)->text(), "0");
    EXPECT_EQ(get<QComboBox>(5041)->currentText(), "Tuesday");
    EXPECT_EQ(get<QDateTimeEdit>(5110)->time(), QTime(7, 5, 0));
    EXPECT_EQ(get<QComboBox>(5118)->currentText(), "CH2");

    // A click on the second row shows that task, still without allowing edits.
    list()->selectRow(1);
    EXPECT_TRUE(radio(5047)->isChecked());
    EXPECT_TRUE(radio(5059)->isChecked());
    EXPECT_EQ(edit(5061)->text(), "10");
    EXPECT_EQ(edit(5062)->text(), "5");
    EXPECT_EQ(edit(5033)->text(), "0");
    EXPECT_EQ(get<QComboBox>(5111)->currentText(), "15");
    EXPECT_EQ(get<QComboBox>(5118)->currentText(), "ALL");
    EXPECT_FALSE(edit(5061)->isEnabled());
}

TEST_F(PlanTaskPage, NewEnablesDailyEditingAndTheFrequencyLaysOutTheTiming) {
    h.open();
    button(5038)->click();
    EXPECT_FALSE(button(5038)->isEnabled());
    EXPECT_TRUE(button(5039)->isEnabled());
    EXPECT_TRUE(radio(5046)->isChecked());
    for (int id : {5046, 5045, 5047, 5044, 5054, 5059}) {
        EXPECT_TRUE(radio(id)->isEnabled()) << id;
    }
    // Capture was checked before New, so its fields are the ones open.
    EXPECT_TRUE(edit(5061)->isEnabled());
    EXPECT_FALSE(edit(5033)->isEnabled());

    auto visible = [this](int id) { return get<QWidget>(id)->isVisible(); };
    EXPECT_TRUE(visible(5110) && visible(5124));
    EXPECT_FALSE(visible(5111) || visible(5041) || visible(5089));
    EXPECT_TRUE(get<QDateTimeEdit>(5110)->isEnabled());

    radio(5045)->click();  // Weekly: the weekday above the time
    EXPECT_TRUE(visible(5041) && visible(5122) && visible(5110));
    EXPECT_FALSE(visible(5111) || visible(5089));
    EXPECT_TRUE(get<QComboBox>(5041)->isEnabled());
    EXPECT_FALSE(get<QComboBox>(5111)->isEnabled());
    EXPECT_LT(get<QWidget>(5041)->y(), get<QWidget>(5110)->y());

    radio(5047)->click();  // Monthly
    EXPECT_TRUE(visible(5111) && visible(5121) && visible(5110));
    EXPECT_FALSE(visible(5041) || visible(5089));
    EXPECT_TRUE(get<QComboBox>(5111)->isEnabled());

    radio(5044)->click();  // Only Once
    EXPECT_TRUE(visible(5089) && visible(5125) && visible(5110));
    EXPECT_FALSE(visible(5041) || visible(5111));
    EXPECT_TRUE(get<QDateEdit>(5089)->isEnabled());

    radio(5054)->click();  // Recorder
    EXPECT_TRUE(edit(5033)->isEnabled());
    EXPECT_TRUE(edit(5060)->isEnabled());
    EXPECT_FALSE(edit(5061)->isEnabled());
    EXPECT_FALSE(edit(5062)->isEnabled());
}

TEST_F(PlanTaskPage, AddingAWeeklyRecordTask) {
    h.open();
    button(5038)->click();
    radio(5045)->click();
    radio(5054)->click();
    get<QComboBox>(5041)->setCurrentIndex(2);
    get<QDateTimeEdit>(5110)->setTime(QTime(7, 5, 0));
    get<QComboBox>(5118)->setCurrentIndex(1);
    edit(5033)->setText("1");
    edit(5035)->setText("30");
    edit(5060)->setText("0");
    button(5039)->click();

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
    EXPECT_TRUE(button(5038)->isEnabled());
    EXPECT_FALSE(button(5039)->isEnabled());
    EXPECT_FALSE(radio(5045)->isEnabled());
    EXPECT_TRUE(button(5040)->isEnabled());
}

TEST_F(PlanTaskPage, AddingOnceAndMonthlyCaptureTasks) {
    h.open();
    button(5038)->click();
    radio(5044)->click();
    radio(5059)->click();
    get<QDateEdit>(5089)->setDate(QDate(2025, 12, 24));
    get<QDateTimeEdit>(5110)->setTime(QTime(18, 30, 15));
    edit(5061)->setText("20");
    edit(5062)->setText("3");
    button(5039)->click();

    button(5038)->click();
    radio(5047)->click();
    get<QComboBox>(5111)->setCurrentIndex(30);
    button(5039)->click();

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
    button(5038)->click();
    radio(5054)->click();
    edit(5033)->setText("0");
    edit(5035)->setText("0");
    edit(5060)->setText("0");
    button(5039)->click();

    ASSERT_EQ(h.viewer.calls.size(), 2u);
    EXPECT_EQ(h.viewer.calls[0].first, CFG_CB_NEW_TASK);
    EXPECT_EQ(h.viewer.calls[1], Call(CFG_CB_FREE_TASK, h.viewer.calls[0].second));
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text, QStringLiteral("录像时间不能为零!"));
    EXPECT_EQ(h.dialogs.messages[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(QApplication::focusWidget(), edit(5060));
    // Still editing; a second Add asks for a fresh record.
    EXPECT_TRUE(button(5039)->isEnabled());
    EXPECT_FALSE(button(5038)->isEnabled());
    EXPECT_TRUE(edit(5060)->isEnabled());
    EXPECT_TRUE(h.viewer.tasks().empty());

    edit(5060)->setText("5");
    button(5039)->click();
    ASSERT_EQ(h.viewer.calls.size(), 4u);
    EXPECT_EQ(h.viewer.calls[2].first, CFG_CB_NEW_TASK);
    EXPECT_EQ(h.viewer.calls[3], Call(CFG_CB_ADD_TASK, h.viewer.calls[2].second));
    EXPECT_EQ(h.viewer.tasks().size(), 1u);
}

TEST_F(PlanTaskPage, CaptureLengthAndFrameRateChecks) {
    h.open();
    button(5038)->click();
    radio(5059)->click();
    edit(5061)->setText("0");
    button(5039)->click();
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].text, QStringLiteral("拍照时间不能为0秒！"));
    EXPECT_EQ(h.dialogs.messages[0].caption, "settingsui");
    EXPECT_EQ(QApplication::focusWidget(), edit(5061));

    edit(5061)->setText("5");
    edit(5062)->setText("0");
    button(5039)->click();
    ASSERT_EQ(h.dialogs.messages.size(), 2u);
    EXPECT_EQ(h.dialogs.messages[1].text, QStringLiteral("拍照帧速不能为0!"));
    EXPECT_EQ(h.dialogs.messages[1].caption, "settingsui");
    EXPECT_EQ(QApplication::focusWidget(), edit(5062));
    EXPECT_TRUE(h.viewer.tasks().empty());

    // A capture of exactly one second is taken with any frame rate.
    edit(5061)->setText("1");
    button(5039)->click();
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

    button(5040)->click();  // nothing selected: nothing happens
    EXPECT_TRUE(h.viewer.calls.empty());

    list()->selectRow(0);
    button(5040)->click();
    EXPECT_EQ(h.viewer.calls, (std::vector<Call>{{CFG_CB_FREE_TASK, firstAddress},
                                                 {CFG_CB_REMOVE_TASK, firstAddress}}));
    ASSERT_EQ(list()->rowCount(), 1);
    EXPECT_EQ(list()->item(0, 1)->text(), "Monthly 15 23:00:00");
    EXPECT_TRUE(button(5040)->isEnabled());

    list()->selectRow(0);
    button(5040)->click();
    EXPECT_EQ(h.viewer.calls.back(), Call(CFG_CB_REMOVE_TASK, secondAddress));
    EXPECT_EQ(list()->rowCount(), 0);
    EXPECT_FALSE(button(5040)->isEnabled());
    EXPECT_TRUE(h.viewer.tasks().empty());
}

TEST_F(PlanTaskPage, AViewerWithoutANewRecordAddsNothing) {
    h.viewer.failNewTask = true;
    h.open();
    button(5038)->click();
    button(5039)->click();
    EXPECT_EQ(h.viewer.calls, (std::vector<Call>{{CFG_CB_NEW_TASK, 0}}));  // answered 0
    EXPECT_TRUE(button(5039)->isEnabled());
}

}  // namespace
}  // namespace vidora::settingsui::test
