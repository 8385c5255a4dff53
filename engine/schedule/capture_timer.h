#pragma once
// The capture timer: takes the alarm photos and the scheduled photo series. Each tick enforces
// the picture folder's limit for scheduled photos, lets alarm photos run out when no alarm was
// seen, ends a capture task that a later record task on another channel overrides, counts the
// times down, moves the receiver to the task's channel and takes a picture when one is due at
// the larger of the two rates.
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

    ScheduleActions& actions_;
    Clock& clock_;
    uint32_t lastTick_ = 0;   // multimedia ms
    uint32_t lastPhoto_ = 0;  // multimedia ms
};

}  // namespace vidora
