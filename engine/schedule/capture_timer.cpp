#include "engine/schedule/capture_timer.h"

#include <algorithm>

#include "app/settings.h"
#include "app/storage.h"
#include "engine/schedule/timer_rules.h"
#include "recording/relaxed_string.h"

namespace vidora {

CaptureTimer::CaptureTimer(ScheduleActions& actions, Clock& clock)
    : actions_(actions), clock_(clock) {}

void CaptureTimer::begin() {
    lastTick_ = clock_.multimediaTime();
    lastPhotoDue_ = lastTick_;
    alarmTold_ = false;
    taskTold_ = false;
}

void CaptureTimer::endTask() {
    storeRelaxed(gTimer.captureTaskLeftMs, 0);
    storeRelaxed(gTimer.captureTaskChannel, -1);
}

void CaptureTimer::tick() {
    // Paused: the elapsed time is counted at once at the first tick after resuming.
    if (!loadRelaxed(gState.liveViewOn) || loadRelaxed(gState.livePaused))
        return;
    const uint32_t now = clock_.multimediaTime();

    // Scheduled photos end quietly at the picture folder's limit; alarm photos go on to the
    // snapshot, which tells the user at every attempt.
    const uint32_t limitMB = loadRelaxed(gConfig.pictureLimitMB);
    if (limitMB != 0 && loadRelaxed(gState.pictureFolderMB) >= limitMB) {
        bool room = false;
        if (loadRelaxed(gConfig.pictureLimitPolicy) == 1) {
            const std::string folder = loadRelaxedString(gConfig.pictureFolder);
            const DeleteResult deleted = deleteOldestFiles(folder.c_str(), limitMB);
            if (deleted.listed)
                storeRelaxed(gState.pictureFolderMB, deleted.totalMB());
            room = deleted.listed && deleted.totalMB() < limitMB;
        }
        if (!room) {
            std::lock_guard lock(timerLock());
            endTask();
        }
    }

    int32_t switchTo = -1;
    {
        std::lock_guard lock(timerLock());
        if (loadRelaxed(gTimer.alarmCaptureLeftMs) > 0 &&
            !alarmSeenWithin(now, secondsToMs(loadRelaxed(gConfig.alarmCaptureSeconds)))) {
            storeRelaxed(gTimer.alarmCaptureLeftMs, 0);
        }

        // A record task that started later on another channel takes the receiver; equal start
        // times keep both.
        const bool planTasks = loadRelaxed(gState.planTasksOn) != 0;
        if (!planTasks) {
            endTask();
        } else if (channelsCompete(loadRelaxed(gTimer.captureTaskChannel),
                                   loadRelaxed(gTimer.recordTaskChannel)) &&
                   loadRelaxed(gTimer.recordTaskStart) > loadRelaxed(gTimer.captureTaskStart)) {
            endTask();
        }

        const uint32_t elapsed = now - lastTick_;
        lastTick_ = now;
        countDown(gTimer.alarmCaptureLeftMs, elapsed);
        const CountDown task = countDown(gTimer.captureTaskLeftMs, elapsed);
        if (task.before > 0 && task.after == 0)
            storeRelaxed(gTimer.captureTaskChannel, -1);

        const int32_t taskChannel = loadRelaxed(gTimer.captureTaskChannel);
        if (taskChannel >= 0 && taskChannel <= 3 &&
            taskChannel != loadRelaxed(gState.currentChannel) &&
            loadRelaxed(gTimer.alarmCaptureLeftMs) <= 0 &&
            loadRelaxed(gTimer.alarmRecordLeftMs) <= 0 && planTasks &&
            startedAfterOther(loadRelaxed(gTimer.captureTaskStart),
                              loadRelaxed(gTimer.recordTaskChannel),
                              loadRelaxed(gTimer.recordTaskStart))) {
            switchTo = taskChannel;
        }
    }
    if (switchTo >= 0)
        actions_.switchChannel(switchTo);

    // What is due now, after the switch, as one view.
    bool alarmDue = false, taskDue = false, onChannel = false;
    int32_t rate = 0;
    int64_t taskStart = 0;
    {
        std::lock_guard lock(timerLock());
        alarmDue = loadRelaxed(gTimer.alarmCaptureLeftMs) > 0;
        const int32_t channel = loadRelaxed(gTimer.captureTaskChannel);
        taskDue = channel != -1 && loadRelaxed(gTimer.captureTaskLeftMs) > 0;
        taskStart = loadRelaxed(gTimer.captureTaskStart);
        const int32_t alarmRate = loadRelaxed(gConfig.alarmCaptureFps);
        const int32_t taskRate = loadRelaxed(gTimer.captureTaskFps);
        rate = alarmDue && taskDue ? std::max(alarmRate, taskRate)
               : alarmDue          ? alarmRate
                                   : taskRate;
        const int32_t live = loadRelaxed(gState.currentChannel);
        onChannel = (alarmDue && live == loadRelaxed(gTimer.alarmChannel)) ||
                    (taskDue && (channel == live || channel == 4));
    }
    // A new alarm series or capture task is told afresh.
    if (!alarmDue)
        alarmTold_ = false;
    if (!taskDue || taskStart != taskToldStart_) {
        taskTold_ = false;
        taskToldStart_ = taskStart;
    }
    if (!alarmDue && !taskDue)
        return;
    if (rate < 1)
        rate = 1;

    if (!loadRelaxed(gState.liveViewOn) || loadRelaxed(gState.livePaused))
        return;
    if (!onChannel)
        return;
    // Measured afresh: a channel switch above may have taken a while.
    const uint32_t photoTime = clock_.multimediaTime();
    const uint32_t interval = static_cast<uint32_t>(1000 / rate);
    if (photoTime - lastPhotoDue_ < interval)
        return;
    // The next photo is due one interval after this one was due, not after the tick that took
    // it; a timer more than an interval late (a stall, or a rate above the tick rate) starts
    // afresh from now.
    const uint32_t due = lastPhotoDue_ + interval;
    lastPhotoDue_ = photoTime - due >= interval ? photoTime : due;
    shoot(alarmDue, taskDue);
}

void CaptureTimer::shoot(bool alarmDue, bool taskDue) {
    const std::optional<MessageBoxRequest> box = pictureFailureBox(actions_.takeSnapshot());
    if (!box)
        return;
    // Told without waiting for the user: the photos go on at their pace meanwhile.
    const bool untold = (alarmDue && !alarmTold_) || (taskDue && !taskTold_);
    if (alarmDue)
        alarmTold_ = true;
    if (taskDue)
        taskTold_ = true;
    if (untold)
        actions_.postMessage(*box);
}

}  // namespace vidora
