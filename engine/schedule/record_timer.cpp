#include "engine/schedule/record_timer.h"

#include <cstdio>

#include "app/message_box.h"
#include "app/settings.h"
#include "app/storage.h"
#include "engine/schedule/timer_rules.h"
#include "recording/relaxed_string.h"

namespace vidora {

namespace {

void clearMarks() {
    std::lock_guard lock(timerLock());
    storeRelaxed(gTimer.alarmRecording, 0);
    storeRelaxed(gTimer.taskRecording, 0);
}

// Under the timer lock.
void endRecordTask() {
    storeRelaxed(gTimer.recordTaskLeftMs, 0);
    storeRelaxed(gTimer.recordTaskChannel, -1);
}

}  // namespace

RecordTimer::RecordTimer(ScheduleActions& actions, Clock& clock)
    : actions_(actions), clock_(clock) {}

void RecordTimer::begin() {
    lastTick_ = clock_.multimediaTime();
    limitToldForThis_ = false;
    wasPaused_ = false;
}

void RecordTimer::end() {
    actions_.stopRecording();
    clearMarks();
}

bool RecordTimer::enforceFolderLimit(bool recording) {
    const uint32_t limitMB = loadRelaxed(gConfig.recordLimitMB);
    if (limitMB == 0 || loadRelaxed(gState.recordFolderMB) < limitMB)
        return false;
    const bool notify = loadRelaxed(gConfig.recordLimitPolicy) == 2;
    if (!notify) {
        if (recording && !actions_.recordingEndedAtLimit()) {
            // The writer makes room between its files and goes on; deleting here as well could
            // remove the very file it is writing.
            return false;
        }
        if (!recording) {
            const std::string folder = loadRelaxedString(gConfig.recordFolder);
            const DeleteResult deleted = deleteOldestFiles(folder.c_str(), limitMB);
            if (deleted.listed)
                storeRelaxed(gState.recordFolderMB, deleted.totalMB());
            if (deleted.listed && deleted.totalMB() < limitMB)
                return true;
        }
    }
    if (recording)
        actions_.stopRecording();
    clearMarks();
    if (notify && recording && !limitToldForThis_) {
        // Told after the recording stopped: the box waits for the user, and nothing is lost
        // meanwhile.
        limitToldForThis_ = true;
        char text[128];
        std::snprintf(text, sizeof text, kRecordLimitTextFormat, limitMB);
        actions_.showMessage(text, "Vidora", MB_OK | MB_ICONINFORMATION);
    }
    return true;
}

void RecordTimer::tick() {
    // Paused: the elapsed time is counted at once at the first tick after resuming.
    if (!loadRelaxed(gState.liveViewOn) || loadRelaxed(gState.livePaused)) {
        wasPaused_ = true;
        return;
    }
    const uint32_t now = clock_.multimediaTime();
    const bool recording = actions_.recording();
    if (wasPaused_) {
        // Pausing stopped the recording: what is still due records again.
        wasPaused_ = false;
        if (!recording)
            clearMarks();
    }
    if (!recording)
        limitToldForThis_ = false;

    if (enforceFolderLimit(recording))
        return;

    // The marks and times change under the timer lock; whether the recording must stop is
    // collected meanwhile and acted on after the lock is released.
    bool stop = false;
    int32_t switchTo = -1;
    {
        std::lock_guard lock(timerLock());
        // The recording stops when one mark goes and the other does not hold it.
        const auto dropMark = [&stop](uint8_t& mark, const uint8_t& other) {
            if (loadRelaxed(mark) && !loadRelaxed(other))
                stop = true;
            storeRelaxed(mark, 0);
        };

        // A capture task that started later on another channel takes the receiver; equal start
        // times keep both.
        const bool planTasks = loadRelaxed(gState.planTasksOn) != 0;
        if (!planTasks ||
            (channelsCompete(loadRelaxed(gTimer.recordTaskChannel),
                             loadRelaxed(gTimer.captureTaskChannel)) &&
             loadRelaxed(gTimer.captureTaskStart) > loadRelaxed(gTimer.recordTaskStart))) {
            endRecordTask();
            // The recording goes on while it is also the alarm's; either way it is no longer
            // the task's, so that the alarm's end can stop it.
            dropMark(gTimer.taskRecording, gTimer.alarmRecording);
        }

        if (loadRelaxed(gTimer.alarmRecording) &&
            !alarmSeenWithin(now, secondsToMs(loadRelaxed(gConfig.alarmRecordSeconds)))) {
            dropMark(gTimer.alarmRecording, gTimer.taskRecording);
            storeRelaxed(gTimer.alarmRecordLeftMs, 0);
        }

        const uint32_t elapsed = now - lastTick_;
        lastTick_ = now;
        countDown(gTimer.alarmRecordLeftMs, elapsed);
        if (loadRelaxed(gTimer.alarmRecordLeftMs) <= 0)
            dropMark(gTimer.alarmRecording, gTimer.taskRecording);
        const CountDown task = countDown(gTimer.recordTaskLeftMs, elapsed);
        if (task.before > 0 && task.after == 0)
            storeRelaxed(gTimer.recordTaskChannel, -1);
        // However the task ended (its time, a channel switch, the plan switch), its recording
        // ends with it unless the alarm still holds it.
        if (loadRelaxed(gTimer.recordTaskLeftMs) <= 0 && loadRelaxed(gTimer.taskRecording)) {
            dropMark(gTimer.taskRecording, gTimer.alarmRecording);
            storeRelaxed(gTimer.recordTaskChannel, -1);
        }

        const int32_t taskChannel = loadRelaxed(gTimer.recordTaskChannel);
        if (taskChannel >= 0 && taskChannel <= 3 &&
            taskChannel != loadRelaxed(gState.currentChannel) &&
            loadRelaxed(gTimer.alarmCaptureLeftMs) <= 0 &&
            loadRelaxed(gTimer.alarmRecordLeftMs) <= 0 && planTasks &&
            startedAfterOther(loadRelaxed(gTimer.recordTaskStart),
                              loadRelaxed(gTimer.captureTaskChannel),
                              loadRelaxed(gTimer.captureTaskStart))) {
            switchTo = taskChannel;
        }
    }
    if (stop)
        actions_.stopRecording();
    if (switchTo >= 0)
        actions_.switchChannel(switchTo);

    // Under the timer lock.
    const auto taskDue = [] {
        const int32_t channel = loadRelaxed(gTimer.recordTaskChannel);
        const int32_t live = loadRelaxed(gState.currentChannel);
        return channel != -1 && loadRelaxed(gTimer.recordTaskLeftMs) > 0 &&
               (channel == live || channel == 4);
    };
    const auto due = [&taskDue] {
        std::lock_guard lock(timerLock());
        return (loadRelaxed(gTimer.alarmRecordLeftMs) > 0 && !loadRelaxed(gTimer.alarmRecording)) ||
               (taskDue() && !loadRelaxed(gTimer.taskRecording));
    };
    if (!due())
        return;
    // No channel switch between the start and the marks: one would see a recording that nobody
    // claims yet and leave it running, or stop the recording just marked.
    actions_.holdingChannel([&] {
        if (!due())
            return;  // a switch came first
        const bool started = !actions_.recording() && actions_.startRecording();
        bool unclaimed = false;
        {
            // Marked even when the writer refused: no new attempt (and no new message) until
            // the mark is cleared. The marks say what is due now: the supervisor may have ended
            // the work meanwhile (the plan switch).
            std::lock_guard lock(timerLock());
            storeRelaxed(gTimer.alarmRecording, loadRelaxed(gTimer.alarmRecordLeftMs) > 0 ? 1 : 0);
            storeRelaxed(gTimer.taskRecording, taskDue() ? 1 : 0);
            unclaimed = started && !loadRelaxed(gTimer.alarmRecording) &&
                        !loadRelaxed(gTimer.taskRecording);
        }
        if (unclaimed)
            actions_.stopRecording();
    });
}

}  // namespace vidora
