#include "engine/timer_state.h"

#include <atomic>

#include "app/settings.h"
#include "engine/video_window.h"
#include "platform/relaxed.h"

namespace vidora {

TimerState gTimer;

void resetTimerState() {
    gTimer = TimerState{};
}

void endWorkOfOtherChannels(int n, const std::function<void()>& stopRecording) {
    storeRelaxed(gState.currentChannel, n);
    storeRelaxed(gState.motionAlarmActive, 0);
    storeRelaxed(gState.soundAlarmActive, 0);
    storeRelaxed(gTimer.alarmCaptureLeftMs, 0);
    storeRelaxed(gTimer.alarmRecordLeftMs, 0);
    const int32_t captureChannel = loadRelaxed(gTimer.captureTaskChannel);
    if (captureChannel != 4 && captureChannel != n) {
        storeRelaxed(gTimer.captureTaskChannel, -1);
        storeRelaxed(gTimer.captureTaskLeftMs, 0);
    }
    const int32_t recordChannel = loadRelaxed(gTimer.recordTaskChannel);
    if (recordChannel != 4 && recordChannel != n) {
        storeRelaxed(gTimer.recordTaskChannel, -1);
        storeRelaxed(gTimer.recordTaskLeftMs, 0);
    }
    if (loadRelaxed(gTimer.alarmRecording)) {
        storeRelaxed(gTimer.alarmRecordLeftMs, 0);
        if (!loadRelaxed(gTimer.taskRecording))
            stopRecording();
        storeRelaxed(gTimer.alarmRecording, 0);
    }
    const int32_t taskChannel = loadRelaxed(gTimer.recordTaskChannel);
    if (loadRelaxed(gTimer.taskRecording) && taskChannel != 4 && taskChannel != n) {
        stopRecording();
        storeRelaxed(gTimer.taskRecording, 0);
        storeRelaxed(gTimer.recordTaskChannel, -1);
        storeRelaxed(gTimer.recordTaskLeftMs, 0);
    }
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
