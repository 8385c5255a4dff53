#pragma once
// The process-wide timer state shared by the channel switch, the alarm poll, the auto-cycle and
// the schedule supervisor with its capture and record timers. Not saved. Every field is read and
// written through loadRelaxed/storeRelaxed: each has one writer, or is cleared by a channel
// switch, and a late view is harmless.
#include <cstdint>

namespace vidora {

struct TimerState {
    int32_t alarmChannel = 0;        // channel that was live when the alarm was last seen
    int32_t alarmRecordLeftMs = 0;   // alarm recording still due
    int32_t alarmCaptureLeftMs = 0;  // alarm photos still due
    uint8_t alarmRecording = 0;      // the running recording was started for an alarm
    uint8_t taskRecording = 0;       // ... for a record task
    int32_t recordTaskChannel = -1;  // 0..3, kWhicheverChannelIsLive, -1 = no task
    int32_t captureTaskChannel = -1;
    int32_t recordTaskLeftMs = 0;
    int32_t captureTaskLeftMs = 0;
    int64_t recordTaskStart = 0;  // calendar seconds; which task came later
    int64_t captureTaskStart = 0;
    int32_t captureTaskFps = 0;
    uint32_t lastMotionTime = 0;      // multimedia ms of the latest poll that saw motion
    uint32_t lastSoundTime = 0;       // ... that heard sound
    uint8_t forceDayListRebuild = 0;  // settings changed: rebuild the day lists at the next tick
};

extern TimerState gTimer;

// Back to the values of a fresh process (tests).
void resetTimerState();

}  // namespace vidora
