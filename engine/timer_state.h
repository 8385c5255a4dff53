#pragma once
// The process-wide timer state shared by the channel switch, the alarm poll, the auto-cycle and
// the schedule supervisor with its capture and record timers. Not saved.
//
// Who writes what:
//  - alarmChannel: the supervisor, when it sees an alarm;
//  - alarmRecordLeftMs, alarmCaptureLeftMs: the supervisor tops them up, the record / capture
//    timer counts its own down and clears it, a channel switch clears both;
//  - alarmRecording, taskRecording: the record timer; a channel switch clears them;
//  - recordTaskChannel / recordTaskLeftMs and captureTaskChannel / captureTaskLeftMs: the
//    supervisor starts a task, its timer counts it down and ends it, the other timer's task or
//    the plan switch ends it, a channel switch ends it; a task's channel and time left change
//    together (-1 and 0, or a channel and a time);
//  - recordTaskStart, captureTaskStart, captureTaskFps: the supervisor, with the task;
//  - lastMotionTime, lastSoundTime: the alarm poll;
//  - forceDayListRebuild: set by the settings change (UI thread), taken by the supervisor.
// So most fields have several writers. Every write of the alarm and task fields, and every read
// that such a write depends on, happens under timerLock(); so does the channel switch's part
// (applyChannelSwitch). A reader that only looks at one field and acts on nothing else (the
// auto-cycle, the tests) may read it with loadRelaxed without the lock; all accesses go through
// loadRelaxed/storeRelaxed.
//
// The timer lock is the innermost lock: it is taken inside the channel-switch lock, and whoever
// holds it calls nothing out (no channel switch, recording start or stop, snapshot, message).
#include <cstdint>
#include <mutex>

namespace vidora {

struct TimerState {
    int32_t alarmChannel = 0;        // channel that was live when the alarm was last seen
    int32_t alarmRecordLeftMs = 0;   // alarm recording still due
    int32_t alarmCaptureLeftMs = 0;  // alarm photos still due
    uint8_t alarmRecording = 0;      // the running recording was started for an alarm
    uint8_t taskRecording = 0;       // ... for a record task
    int32_t recordTaskChannel = -1;  // 0..3, 4 = whichever is live, -1 = no task
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

std::mutex& timerLock();

// Back to the values of a fresh process (tests).
void resetTimerState();

// The receiver was tuned to `channel` (0..3) by a channel switch. In one step under the timer
// lock: `currentChannel` := channel, the alarm state and the alarm times are cleared, and the
// tasks bound to another channel end, with the alarm's and such a task's mark on the recording.
// Returns true when the running recording must stop; the caller stops it (after this returns,
// since the timer lock must not be held meanwhile).
[[nodiscard]] bool applyChannelSwitch(int channel);

}  // namespace vidora
