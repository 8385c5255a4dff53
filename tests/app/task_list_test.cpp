#include <gtest/gtest.h>

#include <thread>

#include "app/settings.h"
#include "app/settings_callback.h"
#include "app/task_list.h"
#include "settingsui/settingsui.h"

using namespace vidora;

namespace {
TaskRecord* cbNew() {
    return reinterpret_cast<TaskRecord*>(settingsCallback(CFG_CB_NEW_TASK, 0));
}
void cb(int code, TaskRecord* r) {
    settingsCallback(code, reinterpret_cast<std::intptr_t>(r));
}
}  // namespace

TEST(TaskList, AddTwoDeleteFirstLeavesOneThroughTheCallbackCodes) {
    freeTaskList();
    TaskRecord* a = cbNew();
    TaskRecord* b = cbNew();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(a, b);
    EXPECT_EQ(a->operation, 0) << "new records start zeroed";
    a->operation = 1;
    b->operation = 2;
    cb(CFG_CB_ADD_TASK, a);
    cb(CFG_CB_ADD_TASK, b);
    EXPECT_EQ(settingsCallback(CFG_CB_TASK_COUNT, 0), 2);
    EXPECT_EQ(settingsCallback(CFG_CB_TASK_AT, 1), reinterpret_cast<std::intptr_t>(b));
    EXPECT_EQ(settingsCallback(CFG_CB_TASK_AT, 2), 0);
    EXPECT_EQ(settingsCallback(CFG_CB_TASK_AT, -1), 0);

    // Deleting frees first and removes by address afterwards.
    cb(CFG_CB_FREE_TASK, a);
    auto copies = taskList().snapshot();
    ASSERT_EQ(copies.size(), 1u) << "a freed record is no longer seen by other threads";
    EXPECT_EQ(copies[0].operation, 2);
    cb(CFG_CB_REMOVE_TASK, a);
    ASSERT_EQ(taskList().count(), 1u);
    EXPECT_EQ(taskList().at(0), b);
    freeTaskList();
}

TEST(TaskList, RemovingAnUnknownAddressChangesNothing) {
    freeTaskList();
    TaskRecord* a = cbNew();
    cb(CFG_CB_ADD_TASK, a);
    TaskRecord stranger{};
    cb(CFG_CB_REMOVE_TASK, &stranger);
    cb(CFG_CB_FREE_TASK, &stranger);  // never frees memory that is not ours
    EXPECT_EQ(taskList().count(), 1u);
    // An abandoned add: new then free, nothing listed.
    TaskRecord* c = cbNew();
    cb(CFG_CB_FREE_TASK, c);
    EXPECT_EQ(taskList().count(), 1u);
    freeTaskList();
    EXPECT_EQ(taskList().count(), 0u);
}

TEST(TaskList, SnapshotsFromAnotherThreadStaySafeWhileTheUiEdits) {
    freeTaskList();
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done.load()) {
            for (const TaskRecord& t : taskList().snapshot())
                ASSERT_EQ(t.durationSeconds, 60);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        TaskRecord* r = cbNew();
        r->durationSeconds = 60;
        cb(CFG_CB_ADD_TASK, r);
        if (i % 2) {
            cb(CFG_CB_FREE_TASK, r);
            cb(CFG_CB_REMOVE_TASK, r);
        }
    }
    done = true;
    reader.join();
    EXPECT_EQ(taskList().count(), 1000u);
    freeTaskList();
}

TEST(SettingsCallback, AdjustmentCodesStoreAndApply) {
    std::vector<std::pair<int, int>> applied;
    setAdjustmentApplier([&](media::AdjustmentKind kind, int value) {
        applied.emplace_back(static_cast<int>(kind), value);
    });
    settingsCallback(CFG_CB_BRIGHTNESS, 100);
    settingsCallback(CFG_CB_SATURATION, 4000);
    EXPECT_EQ(gConfig.brightness, 100);
    EXPECT_EQ(gConfig.saturation, 4000);
    EXPECT_EQ(applied, (std::vector<std::pair<int, int>>{{1, 100}, {4, 4000}}));
    setAdjustmentApplier({});
}
