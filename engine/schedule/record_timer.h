#pragma once
// The record timer: starts and stops the one recording for alarms and record tasks. Each tick
// enforces the record folder's limit, ends a record task that a later capture task on another
// channel overrides, ends alarm recording when no alarm was seen, counts the times down, moves
// the receiver to the task's channel and starts the recording that is due, marking it as the
// alarm's and/or the task's. The marks apply to whatever recording runs, a manual one included.
// Owned by the ScheduleRunner; begin(), tick() and end() run on the record timer thread (every
// 300 ms), or on a test's thread with a manual clock.
#include <cstdint>

#include "engine/schedule/schedule_actions.h"
#include "platform/clock.h"

namespace vidora {

inline constexpr const char* kRecordLimitTextFormat =
    "Total size of record files have exceeded the limit(%uMB).";

class RecordTimer {
  public:
    static constexpr uint32_t kPeriodMs = 300;

    RecordTimer(ScheduleActions& actions, Clock& clock);

    void begin();
    void tick();
    // The thread ends: stops the recording.
    void end();

  private:
    // True when the tick ends here.
    bool enforceFolderLimit(bool recording);

    ScheduleActions& actions_;
    Clock& clock_;
    uint32_t lastTick_ = 0;          // multimedia ms
    bool limitToldForThis_ = false;  // the user was told about the limit for this recording
    bool wasPaused_ = false;
};

}  // namespace vidora
