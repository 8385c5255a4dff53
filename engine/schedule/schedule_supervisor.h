#pragma once
// The schedule supervisor: turns a seen alarm into alarm record and photo time, and the
// scheduled tasks into the running record and capture task of the timer state, from the two
// day lists it rebuilds at start, at each new local date, when the settings changed and when
// the plan switch is turned on.
// Owned by the ScheduleRunner; begin() and tick() run on the supervisor thread (every 200 ms),
// or on a test's thread with a manual clock.
#include <functional>
#include <vector>

#include "app/records.h"
#include "engine/schedule/day_lists.h"
#include "platform/clock.h"

namespace vidora {

class ScheduleSupervisor {
  public:
    static constexpr uint32_t kPeriodMs = 200;
    // A copy of the task list, taken on the supervisor's thread.
    using TaskSource = std::function<std::vector<TaskRecord>()>;

    // An empty source reads the viewer's task list.
    ScheduleSupervisor(Clock& clock, TaskSource tasks = {});

    // Builds the day lists.
    void begin();
    void tick();

    const DayLists& dayLists() const { return lists_; }

  private:
    void rebuild();

    Clock& clock_;
    TaskSource tasks_;
    DayLists lists_;
    bool planWasOn_ = false;
};

}  // namespace vidora
