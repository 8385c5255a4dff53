#include "engine/timer_state.h"

#include <atomic>

#include "app/settings.h"
#include "engine/video_window.h"
#include "platform/relaxed.h"

namespace vidora {

TimerState gTimer;

std::mutex& timerLock() {
    static std::mutex lock;
    return lock;
}

void resetTimerState() {
    std::lock_guard lock(timerLock());
    gTimer = TimerState{};
}

bool applyChannelSwitch(int channel) {
    std::lock_guard lock(timerLock());
    storeRelaxed(gState.currentChannel, channel);
    storeRelaxed(gState.motionAlarmActive, 0);
    storeRelaxed(gState.soundAlarmActive, 0);
    storeRelaxed(gTimer.alarmCaptureLeftMs, 0);
    storeRelaxed(gTimer.alarmRecordLeftMs, 0);
    const auto boundElsewhere = [channel](int32_t taskChannel) {
        return taskChannel != 4 && taskChannel != channel;
    };
    if (boundElsewhere(loadRelaxed(gTimer.captureTaskChannel))) {
        storeRelaxed(gTimer.captureTaskChannel, -1);
        storeRelaxed(gTimer.captureTaskLeftMs, 0);
    }
    if (boundElsewhere(loadRelaxed(gTimer.recordTaskChannel))) {
        storeRelaxed(gTimer.recordTaskChannel, -1);
        storeRelaxed(gTimer.recordTaskLeftMs, 0);
    }
    bool stop = false;
    if (loadRelaxed(gTimer.alarmRecording)) {
        // The alarm recording ends; the recording goes on if it is a task's as well.
        stop = !loadRelaxed(gTimer.taskRecording);
        storeRelaxed(gTimer.alarmRecording, 0);
    }
    // The record task ended above if it was bound to another channel: so does its recording.
    if (loadRelaxed(gTimer.taskRecording) &&
        boundElsewhere(loadRelaxed(gTimer.recordTaskChannel))) {
        stop = true;
        storeRelaxed(gTimer.taskRecording, 0);
    }
    return stop;
}

namespace {
std::atomic<VideoWindow*> gVideoWindow{nullptr};
}

void setVideoWindow(VideoWindow* window) {
    gVideoWindow.store(window, std::memory_order_release);
}
VideoWindow* videoWindow() {
    return gVideoWindow.load(std::memory_order_acquire);
}

}  // namespace vidora
