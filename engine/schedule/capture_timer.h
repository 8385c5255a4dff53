#pragma once
// The capture timer: takes the alarm photos and the scheduled photo series. Each tick enforces
// the picture folder's limit for scheduled photos, lets alarm photos run out when no alarm was
// seen, ends a capture task that a later record task on another channel overrides, counts the
// times down, moves the receiver to the task's channel and takes a picture when one is due at
// the larger of the two rates. Photos are paced from when each was due, so a 15 ms tick does not
// stretch the interval; a timer that fell behind by more than an interval starts afresh instead
// of catching up in a burst. A photo that cannot be written is told once per alarm series and
// once per capture task, without waiting for the user.
// Owned by the ScheduleRunner; begin() and tick() run on the capture timer thread (every 15 ms),
// or on a test's thread with a manual clock.
#include <cstdint>

#include "engine/schedule/schedule_actions.h"
#include "platform/clock.h"

namespace vidora {

class CaptureTimer {
  public:
    static constexpr uint32_t kPeriodMs = 15;

    CaptureTimer(ScheduleActions& actions, Clock& clock);

    // The last tick and the last photo are now.
    void begin();
    void tick();

  private:
    // Under the timer lock.
    void endTask();
    void shoot(bool alarmDue, bool taskDue);

    ScheduleActions& actions_;
    Clock& clock_;
    uint32_t lastTick_ = 0;      // multimedia ms
    uint32_t lastPhotoDue_ = 0;  // multimedia ms at which the last photo was due
    // Whether the running alarm series and capture task (known by its start) were told that
    // their photos cannot be written.
    bool alarmTold_ = false;
    bool taskTold_ = false;
    int64_t taskToldStart_ = 0;
};

}  // namespace vidora
