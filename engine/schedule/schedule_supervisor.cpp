#include "engine/schedule/schedule_supervisor.h"

#include <atomic>

#include "app/settings.h"
#include "app/task_list.h"
#include "engine/schedule/timer_rules.h"

namespace vidora {

ScheduleSupervisor::ScheduleSupervisor(Clock& clock, TaskSource tasks)
    : clock_(clock), tasks_(std::move(tasks)) {
    if (!tasks_)
        tasks_ = [] { return taskList().snapshot(); };
}

void ScheduleSupervisor::rebuild() {
    lists_ = buildDayLists(tasks_(), clock_.calendarSeconds(), clock_.localTime());
}

void ScheduleSupervisor::begin() {
    rebuild();
    planWasOn_ = loadRelaxed(gState.planTasksOn) != 0;
}

void ScheduleSupervisor::tick() {
    if (!loadRelaxed(gState.liveViewOn) || loadRelaxed(gState.livePaused))
        return;

    // Every poll that sees the alarm tops the times up again, so a lasting alarm keeps them. A
    // channel switch clears the alarm and its times in one step: an alarm seen before it never
    // gives times on the new channel.
    {
        std::lock_guard lock(timerLock());
        if (loadRelaxed(gState.motionAlarmActive) || loadRelaxed(gState.soundAlarmActive)) {
            storeRelaxed(gTimer.alarmChannel, loadRelaxed(gState.currentChannel));
            if (loadRelaxed(gConfig.alarmRecord))
                storeRelaxed(gTimer.alarmRecordLeftMs,
                             secondsToMs(loadRelaxed(gConfig.alarmRecordSeconds)));
            if (loadRelaxed(gConfig.alarmCapture))
                storeRelaxed(gTimer.alarmCaptureLeftMs,
                             secondsToMs(loadRelaxed(gConfig.alarmCaptureSeconds)));
        }
    }

    const bool planOn = loadRelaxed(gState.planTasksOn) != 0;
    if (planOn) {
        const bool forced = std::atomic_ref<uint8_t>(gTimer.forceDayListRebuild).exchange(0) != 0;
        // Turning the plan on again brings back the tasks that it ended. A new day keeps what
        // yesterday's lists still hold.
        const SystemTime today = clock_.localTime();
        if (forced || !planWasOn_)
            rebuild();
        else if (!lists_.builtFor(today))
            lists_ = buildNextDayLists(lists_, tasks_(), clock_.calendarSeconds(), today);
        const int64_t now = clock_.calendarSeconds();
        std::lock_guard lock(timerLock());
        evaluateDayLists(lists_, now, loadRelaxed(gState.currentChannel));
    } else {
        std::lock_guard lock(timerLock());
        storeRelaxed(gTimer.captureTaskChannel, -1);
        storeRelaxed(gTimer.recordTaskChannel, -1);
        storeRelaxed(gTimer.captureTaskLeftMs, 0);
        storeRelaxed(gTimer.recordTaskLeftMs, 0);
    }
    planWasOn_ = planOn;
}

}  // namespace vidora
